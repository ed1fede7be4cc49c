// The 22 operations as the server carries them out for one client: the
// call message's arguments checked against each operation's signature, the
// station asked on the client's behalf, the outputs put in the result.
#pragma once

#include <cstdint>
#include <string>

#include "sim/model/protocol.h"
#include "sim/model/station.h"

namespace qxserver {

struct CallOutcome {
  bool valid = false;   // false: the message breaks the protocol
  std::string problem;  // why, for the log
  std::string op;
  int32_t result = 0;
  qxsim::wire::Json out = qxsim::wire::Json::array();
};

// Checks one call message (kind "call") and finds its operation. On success
// `outcome.op` names it; nothing has been done yet.
bool CheckCall(const qxsim::wire::Json& message, CallOutcome& outcome);

// Carries out a checked call for `client`.
void Perform(qxsim::Station& station, qxsim::ClientState& client, const qxsim::wire::Json& message,
             CallOutcome& outcome);

}  // namespace qxserver

namespace qxserver {
// One of the 22 operations that the server carries out.
bool IsOperation(const std::string& name);
}  // namespace qxserver
