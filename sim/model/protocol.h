// The simulator's wire protocol, between the network mode of our
// QXClient.dll and qxsim-server (sim/README.md, "Network mode"). Every
// message is one frame: a 4-byte big-endian length, then that many bytes of
// one JSON object. Limits, version and message kinds live here once, for
// both sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "contract/sim_types.h"
#include "sim/model/station.h"

namespace qxsim::wire {

using Json = nlohmann::json;

// Version 2. A peer that says another version is refused.
constexpr int kVersion = 2;
constexpr size_t kHeaderBytes = 4;
// A frame's body is 1 to kMaxBody bytes; anything else ends the connection.
constexpr uint32_t kMaxBody = 64 * 1024;
// Arrays and objects nest at most this deep. Deeper input is refused while
// it is read, so nothing recursive (copy, dump, destruction) ever meets it.
constexpr int kMaxDepth = 32;
// The session key and the access token: 128 bits as 32 hex digits.
constexpr size_t kKeyDigits = 32;

// Message kinds, the "kind" member of every message.
//   client -> server  hello {version, role: "call", token (when required)}
//   server -> client  welcome {version, session, key}  (call connection)
//   client -> server  hello {version, role: "events", session, key}
//   server -> client  welcome {version, session}       (event connection)
//   client -> server  call {op, args: [...]}          (call connection)
//   server -> client  result {result, out: [...]}      (call connection)
//   server -> client  event {type, pump, state, ...}   (event connection)
constexpr const char* kHello = "hello";
constexpr const char* kWelcome = "welcome";
constexpr const char* kCall = "call";
constexpr const char* kResult = "result";
constexpr const char* kEvent = "event";
constexpr const char* kRoleCall = "call";
constexpr const char* kRoleEvents = "events";

// The frame of `message`: header and body. Text that is not UTF-8 goes
// out with replacement characters rather than failing.
std::string Frame(const Json& message);
// `value` as JSON text, never throwing: invalid UTF-8 is replaced.
std::string Dump(const Json& value);
// The body length that a header announces; 0 when it is out of bounds.
uint32_t BodyLength(const unsigned char (&header)[kHeaderBytes]);

enum class ParseFault { kNone, kSyntax, kTooDeep };
// One JSON value nested at most kMaxDepth deep; false (with the fault when
// asked) for anything else.
bool ParseValue(std::string_view text, Json& value, ParseFault* fault = nullptr);
// The message in a body; false when it is not one JSON object with a
// string "kind" (or nests too deep).
bool Parse(std::string_view body, Json& message, ParseFault* fault = nullptr);

// The call connection's hello; `token` only when the server asks for one.
Json CallHello(const std::string& token = std::string());
Json EventsHello(int32_t session, const std::string& key);
// The call connection's welcome hands out the key that its event
// connection must name; the event connection's welcome has none.
Json Welcome(int32_t session, const std::string& key = std::string());
Json Call(const char* op, Json args);
Json Result(int32_t result, Json out);
Json EventMessage(const Event& event);

// Records as the arrays that results carry, in the order of the entry
// points' outputs. From*: false when the array does not fit.
Json DeliveryOutputs(const SimDelivery& d, int32_t age);
bool DeliveryFrom(const Json& out, SimDelivery& d, int32_t& age);
Json HoseOutputs(const SimHose& h);
bool HoseFrom(const Json& out, SimHose& h);
Json PumpEventOutputs(const PumpEvent& e);
bool PumpEventFrom(const Json& out, PumpEvent& e);

// Typed reads of a JSON value; false when it is not of that kind or range.
bool ReadInt(const Json& value, int64_t low, int64_t high, int64_t& out);
bool ReadNumber(const Json& value, double& out);

}  // namespace qxsim::wire
