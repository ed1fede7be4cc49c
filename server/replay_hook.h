// qxsim-server --trace FILE: every call of every client answered from a
// trace recorded at a station (sim/replay.h) instead of by the forecourt,
// in the trace's order whichever connection it comes on. The first call
// that differs from the trace is answered with SIM_ERR_TRACE, as is every
// call after it; the server's log and /api/state say where and how.
#pragma once

#include <functional>
#include <string>

#include "sim/protocol.h"
#include "sim/replay.h"

namespace qxserver {

class ReplayHook {
 public:
  explicit ReplayHook(std::function<void(const std::string&)> log);

  // False with the reason when the trace cannot be read.
  bool Start(const std::string& path, std::string& error);
  // The result message for a call message that CheckCall has accepted.
  qxsim::wire::Json Answer(const qxsim::wire::Json& call);
  // The replay as /api/state shows it, under "trace".
  qxsim::wire::Json State() const;

 private:
  qxsim::TraceReplay replay_;
};

}  // namespace qxserver
