// What the panel shows (Snapshot) and does (Act): the forecourt as a person
// sees it, and a person's hands on it.
#include <algorithm>
#include <cmath>

#include "server/calls.h"
#include "server/connections.h"
#include "server/limits.h"
#include "server/log_text.h"
#include "server/replay_hook.h"
#include "sim/model/scenario.h"

namespace qxserver {

using qxsim::wire::Json;

namespace {

Json PumpJson(const qxsim::Station& station, const SimPump& p) {
  const char* name = qxsim::PumpStateName(p.state);
  Json hoses = Json::array();
  for (const SimHose& h : station.hoses()) {
    if (h.pumpId != p.id) continue;
    SimHose described{};
    station.DescribeHose(h.id, described);
    std::string grade;
    for (const SimGrade& g : station.grades()) {
      if (g.id == h.gradeId) grade = g.name;
    }
    hoses.push_back({{"id", h.id},
                     {"number", h.number},
                     {"ordinal", described.ordinal},
                     {"grade", grade},
                     {"price", h.price},
                     {"totalizer", h.totalizer},
                     {"volumeTotal", h.volumeTotal},
                     {"valueTotal", h.valueTotal}});
  }
  return {{"number", p.number},
          {"id", p.id},
          {"name", p.name},
          {"state", p.state},
          {"stateName", name ? name : "unknown"},
          {"hose", p.currentHoseId},
          {"volume", p.currentVolume},
          {"value", p.currentValue},
          {"hoses", hoses}};
}

Json DeliveryJson(const SimDelivery& d) {
  return {{"id", d.id},
          {"hose", d.hoseId},
          {"volume", d.volume},
          {"price", d.unitPrice},
          {"amount", d.amount},
          {"date", d.completedDate},
          {"lockedBy", d.lockedBy},
          {"state", d.state},
          {"type", d.type},
          {"cleared", d.clearedDate}};
}

// The member `key` of an action as an integer or a number; false when it is
// missing or of another kind.
bool IntOf(const Json& a, const char* key, int64_t& out) {
  return a.contains(key) && qxsim::wire::ReadInt(a[key], INT32_MIN, INT32_MAX, out);
}
bool NumberOf(const Json& a, const char* key, double& out) {
  return a.contains(key) && qxsim::wire::ReadNumber(a[key], out) && std::isfinite(out);
}
// The member `key` as one of the 22 operations' names.
bool OperationOf(const Json& a, const char* key, std::string& out) {
  if (!a.contains(key) || !a[key].is_string()) return false;
  out = a[key].get<std::string>();
  return IsOperation(out);
}

// The action as the log and the errors show it: only the members that
// actions read, so a body padded with others fills no log line.
std::string Shown(const Json& a) {
  static const char* const kMembers[] = {"action", "hose",  "pump", "client", "clientId", "volume",
                                         "amount", "price", "op",   "code",   "after"};
  Json shown = Json::object();
  for (const char* k : kMembers) {
    if (a.contains(k) && !a[k].is_structured()) shown[k] = a[k];
  }
  return CleanText(qxsim::wire::Dump(shown), 200);
}

}  // namespace

Json Server::Snapshot() const {
  Json pumps = Json::array();
  for (const SimPump& p : station_.pumps()) pumps.push_back(PumpJson(station_, p));
  Json waiting = Json::array();
  for (const SimDelivery& d : station_.waiting()) waiting.push_back(DeliveryJson(d));
  Json cleared = Json::array();
  const auto& done = station_.cleared();
  const size_t from = done.size() > 20 ? done.size() - 20 : 0;
  for (size_t i = done.size(); i-- > from;) cleared.push_back(DeliveryJson(done[i]));
  Json clients = Json::array();
  for (const auto& [id, c] : clients_) {
    const qxsim::ClientState& s = c->state;
    clients.push_back({{"id", id},
                       {"peer", c->peer},
                       {"clientId", s.logon.clientId},
                       {"loggedOn", s.loggedOn},
                       {"linkUp", s.linkUp},
                       {"events", c->events != nullptr},
                       {"calls", c->calls},
                       {"held", c->held}});
  }
  Json running = Json::array();
  for (const auto& [pump, flow] : flows_) {
    running.push_back({{"pump", pump}, {"left", flow.target}});
  }
  Json state = {{"pumps", pumps},        {"waiting", waiting},
                {"cleared", cleared},    {"clearedCount", done.size()},
                {"clients", clients},    {"cut", Json(cut_)},
                {"running", running},    {"clock", station_.Seconds()},
                {"now", station_.Now()}, {"ports", {{"call", callPort_}, {"events", eventPort_}}}};
  if (replay_) state["trace"] = replay_->State();
  return state;
}

// Lifts the nozzle if it is not up, lets fuel flow and runs the delivery
// on the clock until its volume (or amount at the hose's price) is reached;
// then the nozzle is hung up and the delivery joins the list.
int32_t Server::StartRun(int32_t hoseId, const Json& a, std::string& error) {
  SimHose hose{};
  if (!station_.DescribeHose(hoseId, hose)) return SIM_ERR_NOT_FOUND;
  double volume = 0, amount = 0;
  if (a.contains("amount")) {
    if (!NumberOf(a, "amount", amount) || !limits::IsAmount(amount)) {
      error = "an amount is 0.01 to 999999.99";
      return SIM_ERR_BAD_ARGUMENT;
    }
    volume = std::round(amount / hose.price * 1000) / 1000;
  } else if (!NumberOf(a, "volume", volume)) {
    error = "run takes a volume or an amount";
    return SIM_ERR_BAD_ARGUMENT;
  }
  if (!limits::IsRunVolume(volume)) {
    error = "a run is 0.001 to 10000 litres";
    return SIM_ERR_BAD_ARGUMENT;
  }
  const SimPump* pump = nullptr;
  for (const SimPump& p : station_.pumps()) {
    if (p.id == hose.pumpId) pump = &p;
  }
  if (!pump) return SIM_ERR_NOT_FOUND;
  if (flows_.count(pump->number)) {
    error = "pump " + std::to_string(pump->number) + " is running a delivery";
    return SIM_ERR_PUMP_STATE;
  }
  if (pump->currentHoseId != hoseId || pump->state == SIM_PUMP_IDLE ||
      pump->state == SIM_PUMP_AUTHORISED) {
    if (const int32_t r = station_.LiftNozzle(hoseId)) return r;
  }
  if (pump->state == SIM_PUMP_CALLING || pump->state == SIM_PUMP_CALLING_STACKED) {
    if (const int32_t r = station_.Authorise(pump->id, &panel_)) return r;
  }
  if (pump->state != SIM_PUMP_DELIVERING) return SIM_ERR_PUMP_STATE;
  flows_[pump->number] = Flow{volume};
  return SIM_OK;
}

int32_t Server::CutClient(int32_t connection) {
  const auto found = clients_.find(connection);
  if (found == clients_.end()) return SIM_ERR_NOT_FOUND;
  const ClientPtr client = found->second;
  if (client->state.loggedOn) cut_.insert(client->state.logon.clientId);
  Drop(client, "link dropped from the panel");
  return SIM_OK;
}

int32_t Server::Act(const Json& a, std::string& error) {
  if (!a.is_object() || !a.contains("action") || !a["action"].is_string()) {
    error = "an action is an object with a text \"action\"";
    return SIM_ERR_BAD_ARGUMENT;
  }
  const std::string what =
      CleanText(a["action"].get_ref<const std::string&>(), limits::kMaxActionName);
  int64_t hose = 0, pump = 0, client = 0, code = 0;
  double number = 0;
  std::string op;
  int32_t r = SIM_ERR_BAD_ARGUMENT;
  if (what == "lift" && IntOf(a, "hose", hose)) {
    r = station_.LiftNozzle(static_cast<int32_t>(hose));
  } else if (what == "hangup" && IntOf(a, "pump", pump)) {
    flows_.erase(static_cast<int32_t>(pump));
    r = station_.HangUpNozzle(static_cast<int32_t>(pump));
  } else if (what == "run" && IntOf(a, "hose", hose)) {
    r = StartRun(static_cast<int32_t>(hose), a, error);
  } else if (what == "stop" && IntOf(a, "pump", pump)) {
    const SimPump* p = station_.PumpByNumber(static_cast<int32_t>(pump));
    r = p ? station_.TempStop(p->id, &panel_) : SIM_ERR_NOT_FOUND;
  } else if (what == "resume" && IntOf(a, "pump", pump)) {
    const SimPump* p = station_.PumpByNumber(static_cast<int32_t>(pump));
    r = p ? station_.ReAuthorise(p->id, &panel_) : SIM_ERR_NOT_FOUND;
  } else if (what == "price" && IntOf(a, "hose", hose) && NumberOf(a, "price", number)) {
    if (limits::IsPrice(number)) {
      r = station_.SetHosePrices(static_cast<int32_t>(hose), 2, 1, number, number, &panel_);
    } else {
      error = "a price is 0.001 to 9999.999";
    }
  } else if (what == "drop" && IntOf(a, "client", client)) {
    r = CutClient(static_cast<int32_t>(client));
  } else if (what == "restore" && IntOf(a, "clientId", client)) {
    r = cut_.erase(static_cast<int32_t>(client)) ? SIM_OK : SIM_ERR_NOT_FOUND;
  } else if ((what == "fail" || what == "hold") && a.contains("op") && !OperationOf(a, "op", op)) {
    error = what + " takes one of the 22 operations' names";
  } else if (what == "fail" && OperationOf(a, "op", op) && IntOf(a, "code", code) && code != 0) {
    faults_.Add(op, 1, 1, static_cast<int32_t>(code));
    r = SIM_OK;
  } else if (what == "hold" && OperationOf(a, "op", op)) {
    holds_[op] = a.contains("after") && a["after"].is_boolean() && a["after"].get<bool>();
    r = SIM_OK;
  } else if (error.empty()) {
    error = "unknown action or missing values: " + Shown(a);
  }
  if (r == SIM_OK) {
    Log("panel: " + Shown(a));
    PushEvents();
  } else if (error.empty()) {
    error = what + " refused with result code " + std::to_string(r);
  }
  Changed();
  return r;
}

}  // namespace qxserver
