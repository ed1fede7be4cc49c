#include "server/calls.h"

#include <array>
#include <limits>

#include "server/limits.h"
#include "server/log_text.h"

namespace qxserver {
namespace {

using qxsim::ClientState;
using qxsim::Station;
using qxsim::wire::Json;

// Argument kinds, one letter each: l 32-bit, h 16-bit, u unsigned 16-bit
// integer, d number, s text.
struct Args {
  std::array<int64_t, 9> i{};
  std::array<double, 9> d{};
  std::string s;
};

using Handler = int32_t (*)(Station&, ClientState&, const Args&, Json&);

struct Operation {
  const char* name;
  const char* kinds;
  Handler handler;
};

int32_t I32(const Args& a, size_t k) { return static_cast<int32_t>(a.i[k]); }
int16_t I16(const Args& a, size_t k) { return static_cast<int16_t>(a.i[k]); }

// An operation whose only output is one 32-bit count or identifier.
template <class F>
int32_t One(Json& out, F f) {
  int32_t v = 0;
  const int32_t r = f(v);
  if (r == SIM_OK) out.push_back(v);
  return r;
}

const Operation kOperations[] = {
    {"ClientLogonEx", "lhsuullll",
     [](Station& st, ClientState& c, const Args& a, Json&) {
       qxsim::LogonArgs args;
       args.clientId = I32(a, 0);
       args.clientType = I16(a, 1);
       args.server = a.s;
       args.callPort = static_cast<uint16_t>(a.i[3]);
       args.eventPort = static_cast<uint16_t>(a.i[4]);
       args.timeout = I32(a, 5);
       args.handle = I32(a, 6);
       args.hWnd = I32(a, 7);
       args.hMsg = I32(a, 8);
       return st.Logon(args, &c);
     }},
    {"ClientLogoff", "",
     [](Station& st, ClientState& c, const Args&, Json&) { return st.Logoff(&c); }},
    {"TestConnection", "",
     [](Station& st, ClientState& c, const Args&, Json&) { return st.Connected(&c); }},
    {"GetPumpsCount", "",
     [](Station& st, ClientState& c, const Args&, Json& out) {
       return One(out, [&](int32_t& v) { return st.PumpsCount(v, &c); });
     }},
    {"ProcessEvents", "",
     [](Station& st, ClientState& c, const Args&, Json&) { return st.ProcessEvents(&c); }},
    {"GetEventsCount", "",
     [](Station& st, ClientState& c, const Args&, Json& out) {
       return One(out, [&](int32_t& v) { return st.EventsCount(v, &c); });
     }},
    {"GetNextEventType", "",
     [](Station& st, ClientState& c, const Args&, Json& out) {
       return One(out, [&](int32_t& v) { return st.NextEventType(v, &c); });
     }},
    {"GetNextPumpEventEx2", "",
     [](Station& st, ClientState& c, const Args&, Json& out) {
       qxsim::PumpEvent e;
       const int32_t r = st.TakePumpEvent(e, &c);
       if (r == SIM_OK) out = qxsim::wire::PumpEventOutputs(e);
       return r;
     }},
    {"DiscardNextEvent", "",
     [](Station& st, ClientState& c, const Args&, Json&) { return st.DiscardEvent(&c); }},
    {"GetDeliveriesCount", "",
     [](Station& st, ClientState& c, const Args&, Json& out) {
       return One(out, [&](int32_t& v) { return st.DeliveriesCount(v, &c); });
     }},
    {"GetDeliveryByOrdinal", "l",
     [](Station& st, ClientState& c, const Args& a, Json& out) {
       return One(out, [&](int32_t& v) { return st.DeliveryByOrdinal(I32(a, 0), v, &c); });
     }},
    {"GetDeliveryPropertiesEx2", "l",
     [](Station& st, ClientState& c, const Args& a, Json& out) {
       SimDelivery d{};
       int32_t age = 0;
       const int32_t r = st.Delivery(I32(a, 0), d, age, &c);
       if (r == SIM_OK) out = qxsim::wire::DeliveryOutputs(d, age);
       return r;
     }},
    {"LockDelivery", "l",
     [](Station& st, ClientState& c, const Args& a, Json&) {
       return st.LockDelivery(I32(a, 0), &c);
     }},
    {"ClearDelivery", "lh",
     [](Station& st, ClientState& c, const Args& a, Json&) {
       return st.ClearDelivery(I32(a, 0), I16(a, 1), &c);
     }},
    {"GetHoseByOrdinal", "l",
     [](Station& st, ClientState& c, const Args& a, Json& out) {
       return One(out, [&](int32_t& v) { return st.HoseByOrdinal(I32(a, 0), v, &c); });
     }},
    {"GetHosePropertiesEx2", "l",
     [](Station& st, ClientState& c, const Args& a, Json& out) {
       SimHose h{};
       const int32_t r = st.Hose(I32(a, 0), h, &c);
       if (r == SIM_OK) out = qxsim::wire::HoseOutputs(h);
       return r;
     }},
    {"SetHosePrices", "lhhdd",
     [](Station& st, ClientState& c, const Args& a, Json&) {
       // A price no pump can show would make amounts and totals infinite.
       if (!limits::IsPrice(a.d[3]) || !limits::IsPrice(a.d[4])) {
         return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
       }
       return st.SetHosePrices(I32(a, 0), I16(a, 1), I16(a, 2), a.d[3], a.d[4], &c);
     }},
    {"Authorise", "l",
     [](Station& st, ClientState& c, const Args& a, Json&) { return st.Authorise(I32(a, 0), &c); }},
    {"TempStop", "l",
     [](Station& st, ClientState& c, const Args& a, Json&) { return st.TempStop(I32(a, 0), &c); }},
    {"ReAuthorise", "l",
     [](Station& st, ClientState& c, const Args& a, Json&) {
       return st.ReAuthorise(I32(a, 0), &c);
     }},
    {"AllStop", "", [](Station& st, ClientState& c, const Args&, Json&) { return st.AllStop(&c); }},
    {"AllReAuthorise", "",
     [](Station& st, ClientState& c, const Args&, Json&) { return st.AllReAuthorise(&c); }},
};

const Operation* Find(const std::string& name) {
  for (const Operation& op : kOperations) {
    if (name == op.name) return &op;
  }
  return nullptr;
}

// Reads the arguments against the operation's kinds.
bool ReadArgs(const Operation& op, const Json& list, Args& a, std::string& problem) {
  const std::string kinds = op.kinds;
  if (!list.is_array() || list.size() != kinds.size()) {
    problem = std::string(op.name) + " takes " + std::to_string(kinds.size()) + " arguments";
    return false;
  }
  for (size_t k = 0; k < kinds.size(); ++k) {
    const Json& v = list[k];
    bool ok = false;
    switch (kinds[k]) {
      case 'l':
        ok = qxsim::wire::ReadInt(v, INT32_MIN, INT32_MAX, a.i[k]);
        break;
      case 'h':
        ok = qxsim::wire::ReadInt(v, INT16_MIN, INT16_MAX, a.i[k]);
        break;
      case 'u':
        ok = qxsim::wire::ReadInt(v, 0, UINT16_MAX, a.i[k]);
        break;
      case 'd':
        ok = qxsim::wire::ReadNumber(v, a.d[k]);
        break;
      case 's':
        ok = v.is_string() && v.get_ref<const std::string&>().size() <= 255;
        if (ok) a.s = v.get<std::string>();
        break;
    }
    if (!ok) {
      problem =
          std::string(op.name) + ": argument " + std::to_string(k + 1) + " is not of its kind";
      return false;
    }
  }
  return true;
}

}  // namespace

bool CheckCall(const Json& m, CallOutcome& outcome) {
  if (!m.contains("op") || !m["op"].is_string()) {
    outcome.problem = "call without an operation";
    return false;
  }
  const std::string& name = m["op"].get_ref<const std::string&>();
  const Operation* op = Find(name);
  if (!op) {
    outcome.problem = "unknown operation '" + CleanText(name, limits::kLoggedName) + "'";
    return false;
  }
  outcome.op = op->name;
  static const Json kNone;
  Args args;
  if (!ReadArgs(*op, m.contains("args") ? m["args"] : kNone, args, outcome.problem)) {
    return false;
  }
  outcome.valid = true;
  return true;
}

void Perform(Station& station, ClientState& client, const Json& m, CallOutcome& outcome) {
  const Operation* op = Find(outcome.op);
  Args args;
  ReadArgs(*op, m["args"], args, outcome.problem);
  outcome.out = Json::array();
  outcome.result = op->handler(station, client, args, outcome.out);
}

}  // namespace qxserver

namespace qxserver {
bool IsOperation(const std::string& name) { return Find(name) != nullptr; }
}  // namespace qxserver
