// Scenario files: a forecourt and what happens on it over time, in a small
// line-based text format for people (sim/README.md describes it). Parsing is
// plain C++; the station (station.h) applies the result.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "contract/sim_types.h"

namespace qxsim {

// Something that happens at a moment of the simulated clock.
struct Happening {
  enum Kind { kDelivery, kPumpState, kEvent, kLink };
  Kind kind = kDelivery;
  double at = 0;  // seconds on the simulated clock
  int line = 0;   // where the scenario said so

  SimDelivery delivery{};  // kDelivery

  int32_t pumpNumber = 0;  // kPumpState
  int32_t state = 0;
  bool setsHose = false;
  int32_t hoseId = 0;
  bool setsVolume = false;
  double volume = 0;
  bool setsValue = false;
  double value = 0;

  int32_t eventType = 0;  // kEvent

  bool linkUp = true;  // kLink
};

// A `fail` line: entry point `name` fails with `code`, at every call
// (nth = 0) or at its nth call.
struct FaultLine {
  std::string name;
  int32_t nth = 0;
  int32_t code = 0;
};

struct Scenario {
  bool hasClock = false;
  double clock = 0;  // OLE Automation date at second 0 of the clock
  std::vector<SimGrade> grades;
  std::vector<SimPump> pumps;
  std::vector<SimHose> hoses;           // pumpId holds the pump's id
  std::vector<SimDelivery> deliveries;  // waiting from the start
  std::vector<Happening> happenings;    // in time order, ties in line order
  std::vector<FaultLine> faults;
};

struct ScenarioError {
  int line = 0;  // 1-based; 0 when no line is to blame
  std::string message;
};

// Reads `text`. `isEntryPoint` tells which names a `fail` line may use.
// False with `error` set at the first bad line; `scenario` is then partly
// filled and not to be used.
bool ParseScenario(std::string_view text, const std::function<bool(std::string_view)>& isEntryPoint,
                   Scenario& scenario, ScenarioError& error);

// The scenario name of a controller pump state ("idle", "delivering", ...),
// or null for a number outside the known states.
const char* PumpStateName(int32_t state);

}  // namespace qxsim
