// The one simulator of the process: the station, the call record and the
// faults, behind one lock. Hosts may call the library from any thread; every
// export takes `lock` for its whole run.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "sim/model/call_book.h"
#include "sim/model/remote.h"
#include "sim/model/replay.h"
#include "sim/model/station.h"

namespace qxsim {

struct Simulator {
  Simulator();

  std::mutex lock;
  Station station;
  CallBook calls;
  FaultPlan faults;
  // Whether entry-point calls go into `calls` (a benchmark turns it off).
  bool recording = true;
  // Load QXSIM_SCENARIO, or QXClient.scenario beside the DLL, at the next
  // logon. Set in a fresh process; any setting-up through the control
  // exports clears it.
  bool autoLoad = true;
  std::string scenarioError;  // message of the last failed load
  // Network mode: the forecourt is qxsim-server's, reached through
  // `remote`, instead of `station`.
  bool network = false;
  RemoteStation remote;
  // Trace replay: every entry point answers from a recorded trace.
  // QXSIM_TRACE starts one at the first call of a fresh process
  // (replayArmed); SimReplayTrace at any time; SimReset ends it.
  TraceReplay replay;
  bool replayArmed = true;
  // Entry-point calls running now, and those that began while another was
  // running: counted outside `lock`, which would otherwise hide them.
  std::atomic<int32_t> inFlight{0};
  std::atomic<int32_t> overlapping{0};
};

Simulator& TheSimulator();

// One of the 183 entry points of the client library.
bool IsEntryPoint(std::string_view name);

// Scenario loading, with the lock held. 0 on success; otherwise the bad
// line, or -1 when the file cannot be read, with the message in
// sim.scenarioError. A failed load changes nothing else.
int32_t LoadScenarioText(Simulator& sim, std::string_view text, const std::string& source);
int32_t LoadScenarioFile(Simulator& sim, const std::string& path);

// A scenario for the in-process station is named (QXSIM_SCENARIO) or lies
// beside the DLL (QXClient.scenario).
bool InProcessScenarioGiven();

// The load at a logon, when armed: SIM_OK (loaded, or nothing to load) or
// SIM_ERR_SCENARIO, in which case it stays armed for the next logon.
int32_t AutoLoadScenario(Simulator& sim);

}  // namespace qxsim
