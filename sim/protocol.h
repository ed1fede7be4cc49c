// The simulator's wire protocol, between the network mode of our
// QXClient.dll and qxsim-server (sim/README.md, "Network mode"). Every
// message is one frame: a 4-byte big-endian length, then that many bytes of
// one JSON object. Limits, version and message kinds live here once, for
// both sides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "sim/SimTypes.h"
#include "sim/station.h"

namespace qxsim::wire {

using Json = nlohmann::json;

// Version 1. A peer that says another version is refused.
constexpr int kVersion = 1;
constexpr size_t kHeaderBytes = 4;
// A frame's body is 1 to kMaxBody bytes; anything else ends the connection.
constexpr uint32_t kMaxBody = 64 * 1024;

// Message kinds, the "kind" member of every message.
//   client -> server  hello {version, role: "call"|"events", session (events)}
//   server -> client  welcome {version, session}
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

// The frame of `message`: header and body.
std::string Frame(const Json& message);
// The body length that a header announces; 0 when it is out of bounds.
uint32_t BodyLength(const unsigned char (&header)[kHeaderBytes]);
// The message in a body; false when it is not one JSON object with a
// string "kind".
bool Parse(const std::string& body, Json& message);

Json Hello(const char* role, int32_t session);
Json Welcome(int32_t session);
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
