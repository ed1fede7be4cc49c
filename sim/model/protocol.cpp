#include "sim/model/protocol.h"

#include <limits>

namespace qxsim::wire {

std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string Frame(const Json& message) {
  const std::string body = Dump(message);
  const auto n = static_cast<uint32_t>(body.size());
  std::string frame;
  frame.reserve(kHeaderBytes + body.size());
  frame += static_cast<char>((n >> 24) & 0xFF);
  frame += static_cast<char>((n >> 16) & 0xFF);
  frame += static_cast<char>((n >> 8) & 0xFF);
  frame += static_cast<char>(n & 0xFF);
  return frame + body;
}

uint32_t BodyLength(const unsigned char (&header)[kHeaderBytes]) {
  const uint32_t n = (uint32_t{header[0]} << 24) | (uint32_t{header[1]} << 16) |
                     (uint32_t{header[2]} << 8) | uint32_t{header[3]};
  return n >= 1 && n <= kMaxBody ? n : 0;
}

bool ParseValue(std::string_view text, Json& value, ParseFault* fault) {
  // The parser itself keeps its own stack; the callback stops a container
  // from being kept once it would open level kMaxDepth + 1.
  bool tooDeep = false;
  const Json::parser_callback_t guard = [&tooDeep](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= kMaxDepth) {
      tooDeep = true;
      return false;
    }
    return true;
  };
  value = Json::parse(text.begin(), text.end(), guard, false);
  ParseFault found = ParseFault::kNone;
  if (tooDeep) {
    found = ParseFault::kTooDeep;
  } else if (value.is_discarded()) {
    found = ParseFault::kSyntax;
  }
  if (found != ParseFault::kNone) value = Json();
  if (fault) *fault = found;
  return found == ParseFault::kNone;
}

bool Parse(std::string_view body, Json& message, ParseFault* fault) {
  if (!ParseValue(body, message, fault)) return false;
  return message.is_object() && message.contains("kind") && message["kind"].is_string();
}

Json CallHello(const std::string& token) {
  Json m = {{"kind", kHello}, {"version", kVersion}, {"role", kRoleCall}};
  if (!token.empty()) m["token"] = token;
  return m;
}

Json EventsHello(int32_t session, const std::string& key) {
  return {{"kind", kHello},
          {"version", kVersion},
          {"role", kRoleEvents},
          {"session", session},
          {"key", key}};
}

Json Welcome(int32_t session, const std::string& key) {
  Json m = {{"kind", kWelcome}, {"version", kVersion}, {"session", session}};
  if (!key.empty()) m["key"] = key;
  return m;
}

Json Call(const char* op, Json args) {
  return {{"kind", kCall}, {"op", op}, {"args", std::move(args)}};
}

Json Result(int32_t result, Json out) {
  return {{"kind", kResult}, {"result", result}, {"out", std::move(out)}};
}

Json EventMessage(const Event& event) {
  Json m = {{"kind", kEvent}, {"type", event.type}};
  if (event.type == SIM_EVENT_PUMP) {
    m["pump"] = event.pump.pumpNumber;
    m["state"] = event.pump.pumpState;
    m["hose"] = event.pump.hoseId;
    m["volume"] = event.pump.volume;
    m["value"] = event.pump.value;
  }
  return m;
}

bool ReadInt(const Json& value, int64_t low, int64_t high, int64_t& out) {
  if (!value.is_number_integer()) return false;
  const int64_t v = value.get<int64_t>();
  if (value.is_number_unsigned() && value.get<uint64_t>() > static_cast<uint64_t>(high)) {
    return false;
  }
  if (v < low || v > high) return false;
  out = v;
  return true;
}

bool ReadNumber(const Json& value, double& out) {
  if (!value.is_number()) return false;
  out = value.get<double>();
  return true;
}

namespace {

constexpr int64_t kI16Min = std::numeric_limits<int16_t>::min();
constexpr int64_t kI16Max = std::numeric_limits<int16_t>::max();
constexpr int64_t kI32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kI32Max = std::numeric_limits<int32_t>::max();

// Reads an array of fields in order, each an integer of a range or a
// number; stops at the first that does not fit.
class Fields {
 public:
  explicit Fields(const Json& out, size_t count)
      : out_(out), ok_(out.is_array() && out.size() == count) {}
  template <class T>
  Fields& Int(T& field, int64_t low, int64_t high) {
    int64_t v = 0;
    if (ok_ && ReadInt(out_[i_++], low, high, v)) {
      field = static_cast<T>(v);
    } else {
      ok_ = false;
    }
    return *this;
  }
  Fields& I16(int16_t& f) { return Int(f, kI16Min, kI16Max); }
  Fields& I32(int32_t& f) { return Int(f, kI32Min, kI32Max); }
  Fields& I64(int64_t& f) {
    return Int(f, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max());
  }
  Fields& Real(double& f) {
    ok_ = ok_ && ReadNumber(out_[i_++], f);
    return *this;
  }
  Fields& Text(std::string& f) {
    ok_ = ok_ && out_[i_].is_string();
    if (ok_) f = out_[i_].get<std::string>();
    ++i_;
    return *this;
  }
  bool ok() const { return ok_; }

 private:
  const Json& out_;
  bool ok_;
  size_t i_ = 0;
};

}  // namespace

Json DeliveryOutputs(const SimDelivery& d, int32_t age) {
  return Json::array({d.hoseId,
                      d.state,
                      d.type,
                      d.volume,
                      d.priceLevel,
                      d.unitPrice,
                      d.amount,
                      d.volume2,
                      d.completedDate,
                      d.lockedBy,
                      d.reservedBy,
                      d.attendantId,
                      age,
                      d.clearedDate,
                      d.startTotalizer,
                      d.startVolume2Total,
                      d.startValueTotal,
                      d.endTotalizer,
                      d.endVolume2Total,
                      d.endValueTotal,
                      d.code,
                      d.durationSeconds});
}

bool DeliveryFrom(const Json& out, SimDelivery& d, int32_t& age) {
  return Fields(out, 22)
      .I32(d.hoseId)
      .I32(d.state)
      .I32(d.type)
      .Real(d.volume)
      .I32(d.priceLevel)
      .Real(d.unitPrice)
      .Real(d.amount)
      .Real(d.volume2)
      .Real(d.completedDate)
      .I32(d.lockedBy)
      .I32(d.reservedBy)
      .I32(d.attendantId)
      .I32(age)
      .Real(d.clearedDate)
      .Real(d.startTotalizer)
      .Real(d.startVolume2Total)
      .Real(d.startValueTotal)
      .Real(d.endTotalizer)
      .Real(d.endVolume2Total)
      .Real(d.endValueTotal)
      .I64(d.code)
      .I32(d.durationSeconds)
      .ok();
}

Json HoseOutputs(const SimHose& h) {
  return Json::array({h.number, h.pumpId, h.tankId, h.gradeId, h.volumeTotal, h.valueTotal,
                      h.volume2Total, h.totalizer, h.price, h.price2});
}

bool HoseFrom(const Json& out, SimHose& h) {
  return Fields(out, 10)
      .I32(h.number)
      .I32(h.pumpId)
      .I32(h.tankId)
      .I32(h.gradeId)
      .Real(h.volumeTotal)
      .Real(h.valueTotal)
      .Real(h.volume2Total)
      .Real(h.totalizer)
      .Real(h.price)
      .Real(h.price2)
      .ok();
}

Json PumpEventOutputs(const PumpEvent& e) {
  return Json::array({e.pumpId, e.pumpNumber, e.pumpState, e.hoseId, e.hoseNumber, e.gradeNumber,
                      e.gradeId, e.priceLevel, e.price, e.volume, e.value, e.stackSize, e.gradeName,
                      e.shortGradeName, e.pumpName});
}

bool PumpEventFrom(const Json& out, PumpEvent& e) {
  return Fields(out, 15)
      .I32(e.pumpId)
      .I16(e.pumpNumber)
      .I16(e.pumpState)
      .I32(e.hoseId)
      .I16(e.hoseNumber)
      .I16(e.gradeNumber)
      .I32(e.gradeId)
      .I16(e.priceLevel)
      .Real(e.price)
      .Real(e.volume)
      .Real(e.value)
      .I16(e.stackSize)
      .Text(e.gradeName)
      .Text(e.shortGradeName)
      .Text(e.pumpName)
      .ok();
}

}  // namespace qxsim::wire
