// The Sim* control exports (contract/sim_control.h).

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "contract/sim_control.h"
#include "sim/dll/simulator.h"

namespace qxsim {
namespace {

// Runs a control operation under the lock; `failed` is the answer when it
// throws (out of memory), as nothing may be thrown across the library's edge.
template <class Result, class Operation>
Result Control(Result failed, Operation operation) {
  Simulator& sim = TheSimulator();
  std::lock_guard<std::mutex> hold(sim.lock);
  try {
    return operation(sim);
  } catch (...) {
    return failed;
  }
}

template <class Operation>
int32_t Control(Operation operation) {
  return Control<int32_t>(SIM_ERR_INTERNAL, operation);
}

// Copies as much of `text` as fits, always terminated; returns its length.
int32_t CopyOut(char* buffer, int32_t size, const std::string& text) {
  if (buffer && size > 0) {
    const size_t n = std::min(text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<int32_t>(std::min<size_t>(text.size(), INT32_MAX));
}

int32_t Count(size_t n) { return static_cast<int32_t>(std::min<size_t>(n, INT32_MAX)); }

int32_t GetListed(const std::vector<SimDelivery>& list, int32_t index, SimDelivery* delivery) {
  if (!delivery) return SIM_ERR_BAD_ARGUMENT;
  if (index < 0 || static_cast<size_t>(index) >= list.size()) {
    return SIM_ERR_NOT_FOUND;
  }
  *delivery = list[static_cast<size_t>(index)];
  return SIM_OK;
}

}  // namespace
}  // namespace qxsim

namespace qxsim {
extern "C" {

QX_API int32_t QX_CALL SimReset() {
  return Control([](Simulator& sim) {
    sim.station.Reset(false);
    sim.calls.Clear();
    sim.recording = true;
    sim.faults.Clear();
    sim.autoLoad = false;
    sim.scenarioError.clear();
    sim.network = false;
    sim.remote.Close();
    sim.replay.Stop();
    sim.replayArmed = false;
    sim.overlapping = 0;
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimLoadScenario(const char* path, char* error, int32_t errorSize) {
  return Control<int32_t>(-1, [&](Simulator& sim) {
    const int32_t r = LoadScenarioFile(sim, path ? path : "");
    CopyOut(error, errorSize, r ? sim.scenarioError : std::string());
    return r;
  });
}

QX_API int32_t QX_CALL SimLoadScenarioText(const char* text, char* error, int32_t errorSize) {
  return Control<int32_t>(-1, [&](Simulator& sim) {
    const int32_t r = LoadScenarioText(sim, text ? text : "", std::string());
    CopyOut(error, errorSize, r ? sim.scenarioError : std::string());
    return r;
  });
}

QX_API int32_t QX_CALL SimSetAutoLoad(int32_t on) {
  return Control([&](Simulator& sim) {
    sim.autoLoad = on != 0;
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimScenarioError(char* buffer, int32_t size) {
  return Control([&](Simulator& sim) { return CopyOut(buffer, size, sim.scenarioError); });
}

QX_API int32_t QX_CALL SimAddGrade(const SimGrade* grade) {
  return Control([&](Simulator& sim) {
    if (!grade) return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
    sim.autoLoad = false;
    return sim.station.AddGrade(*grade);
  });
}

QX_API int32_t QX_CALL SimAddPump(const SimPump* pump) {
  return Control([&](Simulator& sim) {
    if (!pump) return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
    sim.autoLoad = false;
    return sim.station.AddPump(*pump);
  });
}

QX_API int32_t QX_CALL SimAddHose(const SimHose* hose) {
  return Control([&](Simulator& sim) {
    if (!hose) return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
    sim.autoLoad = false;
    return sim.station.AddHose(*hose);
  });
}

QX_API int32_t QX_CALL SimAddDelivery(const SimDelivery* delivery) {
  return Control<int32_t>(-SIM_ERR_INTERNAL, [&](Simulator& sim) {
    if (!delivery) return static_cast<int32_t>(-SIM_ERR_BAD_ARGUMENT);
    sim.autoLoad = false;
    return sim.station.AddDelivery(*delivery);
  });
}

QX_API int32_t QX_CALL SimSetDeliveryLock(int32_t deliveryId, int32_t clientId) {
  return Control([&](Simulator& sim) { return sim.station.SetDeliveryLock(deliveryId, clientId); });
}

QX_API int32_t QX_CALL SimGetPump(int32_t pumpNumber, SimPump* pump) {
  return Control([&](Simulator& sim) {
    if (!pump) return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
    const SimPump* found = sim.station.PumpByNumber(pumpNumber);
    if (!found) return static_cast<int32_t>(SIM_ERR_NOT_FOUND);
    *pump = *found;
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimGetHose(int32_t hoseId, SimHose* hose) {
  return Control([&](Simulator& sim) {
    if (!hose) return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
    return static_cast<int32_t>(sim.station.DescribeHose(hoseId, *hose) ? SIM_OK
                                                                        : SIM_ERR_NOT_FOUND);
  });
}

QX_API int32_t QX_CALL SimDeliveryCount() {
  return Control([](Simulator& sim) { return Count(sim.station.waiting().size()); });
}

QX_API int32_t QX_CALL SimGetDelivery(int32_t index, SimDelivery* delivery) {
  return Control([&](Simulator& sim) { return GetListed(sim.station.waiting(), index, delivery); });
}

QX_API int32_t QX_CALL SimClearedCount() {
  return Control([](Simulator& sim) { return Count(sim.station.cleared().size()); });
}

QX_API int32_t QX_CALL SimGetCleared(int32_t index, SimDelivery* delivery) {
  return Control([&](Simulator& sim) { return GetListed(sim.station.cleared(), index, delivery); });
}

QX_API int32_t QX_CALL SimQueuePumpEvent(int32_t pumpNumber, int32_t state) {
  return Control([&](Simulator& sim) { return sim.station.QueuePumpEvent(pumpNumber, state); });
}

QX_API int32_t QX_CALL SimQueueOtherEvent(int32_t type) {
  return Control([&](Simulator& sim) { return sim.station.QueueOtherEvent(type); });
}

QX_API int32_t QX_CALL SimEventCount() {
  return Control([](Simulator& sim) { return Count(sim.station.EventCount()); });
}

QX_API int32_t QX_CALL SimSetConnected(int32_t connected) {
  return Control([&](Simulator& sim) {
    sim.station.SetLinkUp(connected != 0);
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimGetSession(SimSession* session) {
  return Control([&](Simulator& sim) {
    if (!session) return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
    *session = sim.station.Session();
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimFailCalls(const char* name, int32_t nth, int32_t count, int32_t code) {
  return Control([&](Simulator& sim) {
    if (!name || (std::strcmp(name, "*") != 0 && !IsEntryPoint(name)) || nth < 1 || count < 0 ||
        code == 0) {
      return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
    }
    sim.faults.Add(name, nth, count, code);
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimFailCall(const char* name, int32_t nth, int32_t code) {
  if (nth < 0) return SIM_ERR_BAD_ARGUMENT;
  return nth == 0 ? SimFailCalls(name, 1, 0, code) : SimFailCalls(name, nth, 1, code);
}

QX_API int32_t QX_CALL SimClearFaults() {
  return Control([](Simulator& sim) {
    sim.faults.Clear();
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimCallCount() {
  return Control([](Simulator& sim) { return Count(sim.calls.size()); });
}

QX_API int32_t QX_CALL SimGetCall(int32_t index, char* buffer, int32_t size) {
  return Control([&](Simulator& sim) {
    if (index < 0 || static_cast<size_t>(index) >= sim.calls.size()) {
      CopyOut(buffer, size, std::string());
      return -1;
    }
    return CopyOut(buffer, size, sim.calls.at(static_cast<size_t>(index)));
  });
}

QX_API int32_t QX_CALL SimCountCalls(const char* name) {
  return Control([&](Simulator& sim) {
    const int64_t n = sim.calls.Count(name ? name : "*");
    return static_cast<int32_t>(std::min<int64_t>(n, INT32_MAX));
  });
}

QX_API int32_t QX_CALL SimOverlappingCalls() { return TheSimulator().overlapping.load(); }

QX_API int32_t QX_CALL SimForgetCleared() {
  return Control([](Simulator& sim) {
    sim.station.ForgetCleared();
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimClearCalls() {
  return Control([](Simulator& sim) {
    sim.calls.Clear();
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimSetRecording(int32_t on) {
  return Control([&](Simulator& sim) {
    sim.recording = on != 0;
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimAdvanceClock(double seconds) {
  return Control([&](Simulator& sim) {
    if (!std::isfinite(seconds) || seconds < 0) {
      return static_cast<int32_t>(SIM_ERR_BAD_ARGUMENT);
    }
    sim.station.Advance(seconds);
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API int32_t QX_CALL SimUseRealTime(int32_t on) {
  return Control([&](Simulator& sim) {
    sim.station.UseRealTime(on != 0);
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API double QX_CALL SimClockSeconds() {
  return Control<double>(0.0, [](Simulator& sim) { return sim.station.Seconds(); });
}

QX_API int32_t QX_CALL SimReplayTrace(const char* path) {
  return Control([&](Simulator& sim) {
    sim.replayArmed = false;
    if (path == nullptr || *path == '\0') {
      sim.replay.Stop();
      return static_cast<int32_t>(SIM_OK);
    }
    return static_cast<int32_t>(sim.replay.Start(path) ? SIM_OK : SIM_ERR_TRACE);
  });
}

QX_API int32_t QX_CALL SimTraceDivergence(char* buffer, int32_t size) {
  return Control([&](Simulator& sim) {
    if (!sim.replay.on()) {
      CopyOut(buffer, size, std::string());
      return -1;
    }
    return CopyOut(buffer, size, sim.replay.divergence().text);
  });
}

QX_API int32_t QX_CALL SimTraceAnswered() {
  return Control([](Simulator& sim) { return Count(static_cast<size_t>(sim.replay.answered())); });
}

}  // extern "C"
}  // namespace qxsim
