// The simulator's control interface: exports of the simulated QXClient.dll
// that the real library does not have, for tests and for a host program that
// wants to set the forecourt up. They use the client library's convention
// (stdcall, undecorated names) and all start with "Sim".
//
// A program that loads QXClient.dll itself (or finds it already loaded with
// GetModuleHandleA("QXClient.dll")) fills a SimControl with LoadSimControl and
// calls through its members:
//
//   SimControl sim;
//   if (LoadSimControl(GetModuleHandleA("QXClient.dll"), sim)) sim.SimReset();
//
// Unless stated otherwise a function returns a SimResultCode. Indexes count
// from 0. Every function takes the simulator's lock, so any thread may call.
#pragma once

#include <windows.h>

#include "contract/qxclient_api.h"
#include "contract/sim_types.h"

namespace qxsim {
extern "C" {

// Empty forecourt, logged off, line up, no events, no recorded calls, no
// faults, clock at 0 and only moved by SimAdvanceClock, no automatic
// scenario load at the next logon. Tests start with this.
QX_API int32_t QX_CALL SimReset();

// Replace the forecourt (grades, pumps, hoses, deliveries, events, schedule,
// clock) by a scenario; the session, the recorded calls and the faults stay,
// and the scenario's `fail` lines are added to the faults. On success 0; on a
// bad line its line number, with the message in `error`; -1 when the file
// cannot be read. A failed load changes nothing. `error` may be null.
QX_API int32_t QX_CALL SimLoadScenario(const char* path, char* error, int32_t errorSize);
QX_API int32_t QX_CALL SimLoadScenarioText(const char* text, char* error, int32_t errorSize);
// 1: load QXSIM_SCENARIO, or QXClient.scenario beside the DLL, at the next
// ClientLogonEx (how a fresh process starts); 0: do not.
QX_API int32_t QX_CALL SimSetAutoLoad(int32_t on);
// Message of the last failed scenario load; returns its length.
QX_API int32_t QX_CALL SimScenarioError(char* buffer, int32_t size);

// Building the forecourt by hand. A hose names an existing pump id and grade
// (or grade 0); a delivery names an existing hose. SimAddDelivery returns the
// delivery's identifier, or the negated result code.
QX_API int32_t QX_CALL SimAddGrade(const SimGrade* grade);
QX_API int32_t QX_CALL SimAddPump(const SimPump* pump);
QX_API int32_t QX_CALL SimAddHose(const SimHose* hose);
QX_API int32_t QX_CALL SimAddDelivery(const SimDelivery* delivery);
// Lock a waiting delivery for `clientId` as if that client had, or unlock it
// with -1.
QX_API int32_t QX_CALL SimSetDeliveryLock(int32_t deliveryId, int32_t clientId);

// Inspection.
QX_API int32_t QX_CALL SimGetPump(int32_t pumpNumber, SimPump* pump);
QX_API int32_t QX_CALL SimGetHose(int32_t hoseId, SimHose* hose);
QX_API int32_t QX_CALL SimDeliveryCount();  // waiting, in list order
QX_API int32_t QX_CALL SimGetDelivery(int32_t index, SimDelivery* delivery);
QX_API int32_t QX_CALL SimClearedCount();  // cleared, in clearing order
QX_API int32_t QX_CALL SimGetCleared(int32_t index, SimDelivery* delivery);
// Forgets the cleared deliveries, so that a long run's history stays small.
QX_API int32_t QX_CALL SimForgetCleared();

// Events. A pump event for a known pump number also sets that pump's state;
// for an unknown number it is queued as it is, with pump id 0. Events reach
// the client's queue at its next ProcessEvents, and only while logged on
// (else SIM_ERR_NOT_CONNECTED and the event is dropped).
QX_API int32_t QX_CALL SimQueuePumpEvent(int32_t pumpNumber, int32_t state);
QX_API int32_t QX_CALL SimQueueOtherEvent(int32_t type);
// Events not yet taken: waiting for ProcessEvents plus queued.
QX_API int32_t QX_CALL SimEventCount();

// The line to the server: 0 cuts it (calls answer SIM_ERR_NOT_CONNECTED),
// 1 restores it. A successful ClientLogonEx restores it too.
QX_API int32_t QX_CALL SimSetConnected(int32_t connected);
QX_API int32_t QX_CALL SimGetSession(SimSession* session);

// Make entry point `name` fail with `code` (non-zero): with nth = 0 at every
// call until SimClearFaults, with nth = n > 0 at its n-th call from now on,
// once. The name "*" counts every entry point. A failed call has no effect.
QX_API int32_t QX_CALL SimFailCall(const char* name, int32_t nth, int32_t code);
// Make `count` calls of `name` fail with `code`, from its nth call from now
// on (nth >= 1); count 0 = every call from there until SimClearFaults. A
// fault sweep fails a run of calls with it and then lets them through.
QX_API int32_t QX_CALL SimFailCalls(const char* name, int32_t nth, int32_t count, int32_t code);
QX_API int32_t QX_CALL SimClearFaults();

// The record of entry-point calls, one text each, such as
//   ClientLogonEx(97,7,"127.0.0.1",5123,5124,10000,0,0,0)=0
//   SetHosePrices(12,2,1,3.459,3.459)=0
// with the inputs only (outputs left out) and the result code. SimGetCall
// copies as much as fits and returns the text's full length, or -1 for an
// index out of range. SimCountCalls counts the calls of one name ("*" = all)
// since the last SimClearCalls.
QX_API int32_t QX_CALL SimCallCount();
QX_API int32_t QX_CALL SimGetCall(int32_t index, char* buffer, int32_t size);
QX_API int32_t QX_CALL SimCountCalls(const char* name);
QX_API int32_t QX_CALL SimClearCalls();
// 0 stops recording calls (neither texts nor counts), 1 resumes; on at load
// and after SimReset. Faults fire either way.
QX_API int32_t QX_CALL SimSetRecording(int32_t on);
// Entry-point calls (not control exports) that began while another was still
// running, since load or SimReset; a host's driver must keep this at 0.
QX_API int32_t QX_CALL SimOverlappingCalls();

// The simulated clock, in seconds since the first logon; scheduled scenario
// items fall due by it. It runs with real time unless SimUseRealTime(0) (or
// SimReset) stopped that; SimAdvanceClock moves it on in either case and
// brings whatever is due at once.
QX_API int32_t QX_CALL SimAdvanceClock(double seconds);
QX_API int32_t QX_CALL SimUseRealTime(int32_t on);
QX_API double QX_CALL SimClockSeconds();

// Trace replay (sim/replay.h): answers every entry-point call from the
// trace at `path`, from its first call on; a null or empty path ends the
// replay. SIM_ERR_TRACE when the file cannot be read (the replay then stands
// diverged). QXSIM_TRACE does the same at the first call of a fresh
// process; SimReset ends a replay.
QX_API int32_t QX_CALL SimReplayTrace(const char* path);
// The first divergence, as a text such as
//   trace line 57 (call 52): expected GetDeliveryByOrdinal(2), got GetDeliveryByOrdinal(1)
// copied as much as fits; returns its length, 0 while the replay follows its
// trace, -1 when there is no replay.
QX_API int32_t QX_CALL SimTraceDivergence(char* buffer, int32_t size);
// Calls answered from the trace so far.
QX_API int32_t QX_CALL SimTraceAnswered();

}  // extern "C"
}  // namespace qxsim

// All control exports, in one list.
#define SIM_CONTROL_EXPORTS(X)                                                                \
  X(SimReset)                                                                                 \
  X(SimLoadScenario)                                                                          \
  X(SimLoadScenarioText) X(SimSetAutoLoad) X(SimScenarioError) X(SimAddGrade) X(SimAddPump)   \
      X(SimAddHose) X(SimAddDelivery) X(SimSetDeliveryLock) X(SimGetPump) X(SimGetHose)       \
          X(SimDeliveryCount) X(SimGetDelivery) X(SimClearedCount) X(SimGetCleared)           \
              X(SimForgetCleared) X(SimQueuePumpEvent) X(SimQueueOtherEvent) X(SimEventCount) \
                  X(SimSetConnected) X(SimGetSession) X(SimFailCall) X(SimFailCalls)          \
                      X(SimClearFaults) X(SimCallCount) X(SimGetCall) X(SimCountCalls)        \
                          X(SimClearCalls) X(SimSetRecording) X(SimOverlappingCalls)          \
                              X(SimAdvanceClock) X(SimUseRealTime) X(SimClockSeconds)         \
                                  X(SimReplayTrace) X(SimTraceDivergence) X(SimTraceAnswered)

// One typed pointer per control export, named after it.
struct SimControl {
#define SIM_CONTROL_MEMBER(name) decltype(&qxsim::name) name = nullptr;
  SIM_CONTROL_EXPORTS(SIM_CONTROL_MEMBER)
#undef SIM_CONTROL_MEMBER
};

// Fills `sim` from the loaded simulator `module`. False when `module` is null
// or lacks any control export (then it is not the simulator); the members
// found are set all the same.
inline bool LoadSimControl(HMODULE module, SimControl& sim) {
  sim = SimControl{};
  if (module == nullptr) return false;
  bool complete = true;
#define SIM_CONTROL_RESOLVE(name)                              \
  sim.name = reinterpret_cast<decltype(sim.name)>(             \
      reinterpret_cast<void*>(GetProcAddress(module, #name))); \
  complete = complete && sim.name != nullptr;
  SIM_CONTROL_EXPORTS(SIM_CONTROL_RESOLVE)
#undef SIM_CONTROL_RESOLVE
  return complete;
}
