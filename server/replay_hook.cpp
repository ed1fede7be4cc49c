#include "server/replay_hook.h"

#include <vector>

namespace qxserver {
namespace {

using qxsim::wire::Json;

// How a recorded call's outputs (as the entry point hands them out) travel
// in a result (sim/protocol.h): which of them, in what order, of what kind
// (i integer, d number, s text). Operations not listed have no outputs.
struct WireOutputs {
  const char* op;
  const char* kinds;
  std::vector<int> from;  // output places, from 0
};

const WireOutputs kWire[] = {
    {"GetPumpsCount", "i", {0}},
    {"GetEventsCount", "i", {0}},
    {"GetNextEventType", "i", {0}},
    {"GetDeliveriesCount", "i", {0}},
    {"GetDeliveryByOrdinal", "i", {0}},
    {"GetHoseByOrdinal", "i", {0}},
    {"GetDeliveryPropertiesEx2",
     "iiididdddiiiiddddddd"
     "ii",
     {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21}},
    {"GetHosePropertiesEx2", "iiiidddddd", {0, 1, 2, 3, 4, 5, 6, 7, 9, 10}},
    // Id, number and state; the hose with its number, grade and level; price,
    // volume, value, unpaid deliveries; grade name, short name, pump name.
    {"GetNextPumpEventEx2",
     "iiiiiiiidddisss",
     {0, 1, 2, 5, 6, 7, 8, 12, 13, 14, 15, 16, 10, 11, 17}},
};

bool Fits(char kind, const Json& value) {
  switch (kind) {
    case 'i':
      return value.is_number_integer();
    case 'd':
      return value.is_number();  // no NaN: JSON cannot carry it
    default:
      return value.is_string();
  }
}

// The result's outputs; false with the reason when they cannot be made.
bool ToWire(const std::string& op, const Json& recorded, Json& out, std::string& why) {
  out = Json::array();
  for (const WireOutputs& w : kWire) {
    if (op != w.op) continue;
    for (size_t k = 0; k < w.from.size(); ++k) {
      const size_t place = static_cast<size_t>(w.from[k]);
      if (place >= recorded.size() || !Fits(w.kinds[k], recorded[place])) {
        why = "output " + std::to_string(place + 1) + " cannot go in a result";
        return false;
      }
      out.push_back(recorded[place]);
    }
    return true;
  }
  return true;
}

}  // namespace

ReplayHook::ReplayHook(std::function<void(const std::string&)> log) {
  replay_.OnDivergence(std::move(log));
}

bool ReplayHook::Start(const std::string& path, std::string& error) {
  if (replay_.Start(path)) return true;
  error = replay_.divergence().text;
  return false;
}

Json ReplayHook::Answer(const Json& call) {
  const std::string op = call["op"].get<std::string>();
  const Json& args = call["args"];
  const qxtrace::Call* recorded = replay_.Answer(op, args);
  if (recorded == nullptr) return qxsim::wire::Result(SIM_ERR_TRACE, Json::array());
  Json out = Json::array();
  std::string why;
  if (recorded->out && !ToWire(op, *recorded->out, out, why)) {
    replay_.Misfit(op, args, why);
    return qxsim::wire::Result(SIM_ERR_TRACE, Json::array());
  }
  return qxsim::wire::Result(recorded->result, std::move(out));
}

Json ReplayHook::State() const {
  const qxsim::TraceReplay::Divergence& d = replay_.divergence();
  Json state = {
      {"file", replay_.path()}, {"answered", replay_.answered()}, {"diverged", replay_.diverged()}};
  if (replay_.diverged()) {
    state["divergence"] = {{"line", d.line},
                           {"call", d.call},
                           {"expected", d.expected},
                           {"actual", d.actual},
                           {"text", d.text}};
  }
  return state;
}

}  // namespace qxserver
