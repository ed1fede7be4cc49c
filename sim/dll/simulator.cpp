#include "sim/dll/simulator.h"

#include <algorithm>
#include <iterator>

#include "contract/qxclient_api.h"
#include "sim/model/platform.h"

namespace qxsim {
namespace {

#define QXSIM_NAME(name) #name,
constexpr const char* kEntryPoints[] = {QX_ENTRY_POINTS(QXSIM_NAME, QXSIM_NAME)};
#undef QXSIM_NAME

constexpr const char* kScenarioVariable = "QXSIM_SCENARIO";
constexpr const char* kScenarioBesideDll = "QXClient.scenario";

}  // namespace

Simulator::Simulator() : station(MonotonicMilliseconds, LocalNowOleDate) {
  replay.OnDivergence([](const std::string& text) { DebugLine("QXClient simulator: " + text); });
}

Simulator& TheSimulator() {
  static Simulator simulator;
  return simulator;
}

bool IsEntryPoint(std::string_view name) {
  return std::any_of(std::begin(kEntryPoints), std::end(kEntryPoints),
                     [name](const char* known) { return name == known; });
}

int32_t LoadScenarioText(Simulator& sim, std::string_view text, const std::string& source) {
  Scenario scenario;
  ScenarioError error;
  if (!ParseScenario(text, IsEntryPoint, scenario, error)) {
    sim.scenarioError = (source.empty() ? "line " : source + ":") + std::to_string(error.line) +
                        ": " + error.message;
    return error.line;
  }
  sim.station.Load(scenario);
  for (const FaultLine& fault : scenario.faults) {
    sim.faults.Add(fault.name, fault.nth, fault.nth == 0 ? 0 : 1, fault.code);
  }
  sim.autoLoad = false;
  sim.scenarioError.clear();
  return 0;
}

int32_t LoadScenarioFile(Simulator& sim, const std::string& path) {
  std::string text;
  if (!ReadWholeFile(path, text)) {
    sim.scenarioError = path + ": cannot be read";
    return -1;
  }
  return LoadScenarioText(sim, text, path);
}

bool InProcessScenarioGiven() {
  return !EnvironmentText(kScenarioVariable).empty() ||
         FileExists(OwnFolder() + kScenarioBesideDll);
}

int32_t AutoLoadScenario(Simulator& sim) {
  if (!sim.autoLoad) return SIM_OK;
  std::string path = EnvironmentText(kScenarioVariable);
  if (path.empty()) {
    path = OwnFolder() + kScenarioBesideDll;
    if (!FileExists(path)) {
      sim.autoLoad = false;  // an empty forecourt it is
      return SIM_OK;
    }
  }
  if (LoadScenarioFile(sim, path) != 0) {
    DebugLine("QXClient simulator: " + sim.scenarioError);
    return SIM_ERR_SCENARIO;
  }
  return SIM_OK;
}

}  // namespace qxsim
