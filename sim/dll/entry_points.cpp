// The 183 entry points of the simulated QXClient.dll, defined against the
// declarations that the driver's binding uses, so that a width or an order
// that differs between the two does not compile. The 22 that the driver calls
// work on the station; the others answer SIM_ERR_NOT_SUPPORTED. In a trace
// replay every one of them answers from the trace instead (sim/replay.h).

#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <cwchar>
#include <string>

#include "contract/qxclient_api.h"
#include "sim/dll/call_args.h"
#include "sim/model/platform.h"
#include "sim/dll/simulator.h"

// winspool.h, which the Windows headers bring in, maps DeletePort to
// DeletePortA; the library's export keeps its own name.
#undef DeletePort

namespace qxsim {
namespace {

// Writes an output when the caller gave its address.
template <class T, class V>
void Put(T* out, V value) {
  if (out) *out = static_cast<T>(value);
}

// The client library is not re-entrant: a call that begins while another is
// in flight is counted for SimOverlappingCalls before the lock orders them.
class InFlight {
 public:
  explicit InFlight(Simulator& sim) : sim_(sim) {
    if (sim_.inFlight.fetch_add(1) > 0) sim_.overlapping.fetch_add(1);
  }
  ~InFlight() { sim_.inFlight.fetch_sub(1); }
  InFlight(const InFlight&) = delete;
  InFlight& operator=(const InFlight&) = delete;

 private:
  Simulator& sim_;
};

// Trace replay: QXSIM_TRACE, read at the first call of the process, names
// a trace to answer from (SimReplayTrace starts one at any time).
void StartReplayOnce(Simulator& sim) {
  if (!sim.replayArmed) return;
  sim.replayArmed = false;
  const std::string path = EnvironmentText("QXSIM_TRACE");
  if (!path.empty()) sim.replay.Start(path);
}

// The recorded answer to this call: its result, with its outputs written.
template <class Call>
int32_t Replayed(TraceReplay& replay, const char* name, const Call& call) {
  const Json inputs = call.Inputs();
  const qxtrace::Call* recorded = replay.Answer(name, inputs);
  if (recorded == nullptr) return SIM_ERR_TRACE;
  std::string why;
  if (recorded->out && !call.Fill(*recorded->out, why)) {
    replay.Misfit(name, inputs, why);
    return SIM_ERR_TRACE;
  }
  return recorded->result;
}

// Runs one entry point under the lock: answers from the trace in a replay;
// else brings what the clock has made due, then answers with an injected
// fault if one fires, else with `operation`. Records the call while
// recording is on. Nothing may be thrown across the library's edge.
template <class Call, class Operation>
QXResult Serve(const char* name, const Call& call, Operation operation) {
  Simulator& sim = TheSimulator();
  const InFlight counted(sim);
  std::lock_guard<std::mutex> hold(sim.lock);
  QXResult result = SIM_ERR_INTERNAL;
  try {
    StartReplayOnce(sim);
    if (sim.replay.on()) {
      result = Replayed(sim.replay, name, call);
    } else {
      sim.station.Tick();
      int32_t injected = 0;
      result = sim.faults.Fire(name, injected) ? injected : operation(sim);
    }
    if (sim.recording) {
      CallText text(name);
      call.Describe(text);
      sim.calls.Record(name, text.Finish(result));
    }
  } catch (...) {
    result = SIM_ERR_INTERNAL;
  }
  return result;
}

// An entry point that works on the forecourt: the in-process station, or
// the server in network mode. `operation` takes either (both have the same
// operations).
template <class Call, class Operation>
QXResult ServeOn(const char* name, const Call& call, Operation operation) {
  return Serve(name, call, [&](Simulator& sim) -> int32_t {
    if (sim.network) return operation(sim.remote);
    return operation(sim.station);
  });
}

// Network mode, chosen at a logon when nothing in-process was asked for:
// no scenario named or beside the DLL, no forecourt set up through the
// control exports. Once chosen it stays for the process (SimReset ends it).
bool UseNetwork(Simulator& sim) {
  if (sim.network) return true;
  if (!sim.autoLoad || InProcessScenarioGiven()) return false;
  sim.network = true;
  sim.autoLoad = false;
  return true;
}

}  // namespace

std::string Utf8Of(const wchar_t* text, size_t length) {
  if (!text || length == 0) return std::string();
  const int wide = static_cast<int>(length);
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text, wide, &result[0], n, nullptr, nullptr);
  return result;
}

BSTR BstrOf(const std::string& text) {
  if (text.empty()) return SysAllocString(L"");
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  BSTR result = SysAllocStringLen(nullptr, static_cast<UINT>(n));
  if (result) {
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result, n);
  }
  return result;
}

}  // namespace qxsim

// Variant builds for the binding tests leave one export out: CMake defines
// QXSIM_LACKS_<name> as QXSIM_LACKING for it. QXSIM_IS_LACKING(name) is then
// 1 for that name and 0 for every other (the marker expands to two
// arguments and so moves a 1 into second place).
#define QXSIM_LACKING ~, 1
#define QXSIM_SECOND(a, b, ...) b
#define QXSIM_SECOND_OF(...) QXSIM_SECOND(__VA_ARGS__, 0, 0)
#define QXSIM_IS_LACKING(name) QXSIM_SECOND_OF(QXSIM_LACKS_##name)
#define QXSIM_JOIN(a, b) QXSIM_JOIN_(a, b)
#define QXSIM_JOIN_(a, b) a##b
#define QXSIM_UNLESS_0(...) __VA_ARGS__
#define QXSIM_UNLESS_1(...)
#define QXSIM_UNLESS_LACKING(name) QXSIM_JOIN(QXSIM_UNLESS_, QXSIM_IS_LACKING(name))

namespace qx {
extern "C" {

using qxsim::Args;
using qxsim::Put;
using qxsim::Serve;
using qxsim::ServeOn;
using qxsim::Simulator;

// Session.

QX_API QXResult QX_CALL ClientLogonEx(int32_t clientId, int16_t clientType, BSTR serverAddress,
                                      uint16_t callPort, uint16_t eventPort, int32_t timeout,
                                      int32_t handle, int32_t hWnd, int32_t hMsg) {
  return Serve(
      "ClientLogonEx",
      Args(clientId, clientType, serverAddress, callPort, eventPort, timeout, handle, hWnd, hMsg),
      [&](Simulator& sim) {
        const bool network = qxsim::UseNetwork(sim);
        if (!network) {
          if (const int32_t r = qxsim::AutoLoadScenario(sim)) return r;
        }
        qxsim::LogonArgs args;
        args.clientId = clientId;
        args.clientType = clientType;
        args.server = qxsim::Utf8Of(serverAddress, serverAddress ? wcslen(serverAddress) : 0);
        args.callPort = callPort;
        args.eventPort = eventPort;
        args.timeout = timeout;
        args.handle = handle;
        args.hWnd = hWnd;
        args.hMsg = hMsg;
        return network ? sim.remote.Logon(args) : sim.station.Logon(args);
      });
}

QX_API QXResult QX_CALL ClientLogoff() {
  return ServeOn("ClientLogoff", Args<>(), [](auto& station) { return station.Logoff(); });
}

#ifndef QXSIM_LACKS_TestConnection
QX_API QXResult QX_CALL TestConnection() {
  return ServeOn("TestConnection", Args<>(), [](auto& station) { return station.Connected(); });
}
#endif

QX_API QXResult QX_CALL GetPumpsCount(int32_t* count) {
  return ServeOn("GetPumpsCount", Args(count), [&](auto& station) {
    int32_t n = 0;
    const int32_t r = station.PumpsCount(n);
    if (r == SIM_OK) Put(count, n);
    return r;
  });
}

// Events.

QX_API QXResult QX_CALL ProcessEvents() {
  return ServeOn("ProcessEvents", Args<>(), [](auto& station) { return station.ProcessEvents(); });
}

QX_API QXResult QX_CALL GetEventsCount(int32_t* count) {
  return ServeOn("GetEventsCount", Args(count), [&](auto& station) {
    int32_t n = 0;
    const int32_t r = station.EventsCount(n);
    if (r == SIM_OK) Put(count, n);
    return r;
  });
}

QX_API QXResult QX_CALL GetNextEventType(int32_t* eventType) {
  return ServeOn("GetNextEventType", Args(eventType), [&](auto& station) {
    int32_t type = 0;
    const int32_t r = station.NextEventType(type);
    if (r == SIM_OK) Put(eventType, type);
    return r;
  });
}

QX_API QXResult QX_CALL DiscardNextEvent() {
  return ServeOn("DiscardNextEvent", Args<>(),
                 [](auto& station) { return station.DiscardEvent(); });
}

QX_API QXResult QX_CALL GetNextPumpEventEx2(
    int32_t* pumpId, int16_t* pumpNumber, int16_t* pumpState, int16_t* reservedFor,
    int32_t* reservedBy, int32_t* hoseId, int16_t* hoseNumber, int16_t* gradeNumber,
    int32_t* gradeId, int32_t* deliveryId, BSTR* gradeName, BSTR* shortGradeName,
    int16_t* priceLevel, double* price, double* volume, double* value, int16_t* stackSize,
    BSTR* pumpName, int32_t* physicalNumber, int16_t* side, int16_t* address, int16_t* priceLevel1,
    int16_t* priceLevel2, int16_t* pumpType, int32_t* portId, int16_t* authMode, int16_t* stackMode,
    int16_t* prepayAllowed, int16_t* preauthAllowed, int16_t* priceFormat, int16_t* valueFormat,
    int16_t* volumeFormat, double* tag, int32_t* attendantId, int32_t* attendantNumber,
    BSTR* attendantName, double* attendantTag, int32_t* cardClientId, int32_t* cardClientNumber,
    BSTR* cardClientName, double* cardClientTag) {
  const Args call(pumpId, pumpNumber, pumpState, reservedFor, reservedBy, hoseId, hoseNumber,
                  gradeNumber, gradeId, deliveryId, gradeName, shortGradeName, priceLevel, price,
                  volume, value, stackSize, pumpName, physicalNumber, side, address, priceLevel1,
                  priceLevel2, pumpType, portId, authMode, stackMode, prepayAllowed, preauthAllowed,
                  priceFormat, valueFormat, volumeFormat, tag, attendantId, attendantNumber,
                  attendantName, attendantTag, cardClientId, cardClientNumber, cardClientName,
                  cardClientTag);
  return ServeOn("GetNextPumpEventEx2", call, [&](auto& station) {
    qxsim::PumpEvent e;
    if (const int32_t r = station.TakePumpEvent(e)) return r;

    // The texts first: if one cannot be allocated, nothing is handed out
    // (the event is gone: out of memory is the end of the road anyway).
    struct Text {
      BSTR* out;
      std::string value;
      BSTR made;
    } texts[] = {{gradeName, e.gradeName, nullptr},
                 {shortGradeName, e.shortGradeName, nullptr},
                 {pumpName, e.pumpName, nullptr},
                 {attendantName, std::string(), nullptr},
                 {cardClientName, std::string(), nullptr}};
    bool allocated = true;
    for (Text& t : texts) {
      if (!t.out) continue;
      t.made = qxsim::BstrOf(t.value);
      allocated = allocated && t.made;
    }
    if (!allocated) {
      for (Text& t : texts) SysFreeString(t.made);
      return static_cast<int32_t>(SIM_ERR_INTERNAL);
    }
    for (Text& t : texts) Put(t.out, t.made);

    Put(pumpId, e.pumpId);
    Put(pumpNumber, e.pumpNumber);
    Put(pumpState, e.pumpState);
    Put(reservedFor, 0);  // no reservation
    Put(reservedBy, -1);
    Put(hoseId, e.hoseId);
    Put(hoseNumber, e.hoseNumber);
    Put(gradeNumber, e.gradeNumber);
    Put(gradeId, e.gradeId);
    Put(deliveryId, 0);  // no current delivery record
    Put(priceLevel, e.priceLevel);
    Put(price, e.price);
    Put(volume, e.volume);
    Put(value, e.value);
    Put(stackSize, e.stackSize);
    Put(physicalNumber, e.pumpNumber);
    Put(side, 1);
    Put(address, e.pumpNumber);
    Put(priceLevel1, 1);
    Put(priceLevel2, 2);
    Put(pumpType, 1);
    Put(portId, 1);
    Put(authMode, 0);  // authorised by a client
    Put(stackMode, 1);
    Put(prepayAllowed, 1);
    Put(preauthAllowed, 1);
    Put(priceFormat, 3);  // decimals of price, value, volume
    Put(valueFormat, 2);
    Put(volumeFormat, 2);
    Put(tag, 0.0);
    Put(attendantId, 0);
    Put(attendantNumber, 0);
    Put(attendantTag, 0.0);
    Put(cardClientId, 0);
    Put(cardClientNumber, 0);
    Put(cardClientTag, 0.0);
    return static_cast<int32_t>(SIM_OK);
  });
}

// Deliveries.

QX_API QXResult QX_CALL GetDeliveriesCount(int32_t* count) {
  return ServeOn("GetDeliveriesCount", Args(count), [&](auto& station) {
    int32_t n = 0;
    const int32_t r = station.DeliveriesCount(n);
    if (r == SIM_OK) Put(count, n);
    return r;
  });
}

QX_API QXResult QX_CALL GetDeliveryByOrdinal(int32_t ordinal, int32_t* deliveryId) {
  return ServeOn("GetDeliveryByOrdinal", Args(ordinal, deliveryId), [&](auto& station) {
    int32_t id = 0;
    const int32_t r = station.DeliveryByOrdinal(ordinal, id);
    if (r == SIM_OK) Put(deliveryId, id);
    return r;
  });
}

QX_API QXResult QX_CALL GetDeliveryPropertiesEx2(
    int32_t deliveryId, int32_t* hoseId, int16_t* state, int16_t* type, double* volume,
    int16_t* priceLevel, double* unitPrice, double* value, double* volume2, double* completedDate,
    int32_t* lockedBy, int32_t* reservedBy, int32_t* attendantId, int32_t* age, double* clearedDate,
    double* oldVolumeETotal, double* oldVolume2ETotal, double* oldValueETotal,
    double* newVolumeETotal, double* newVolume2ETotal, double* newValueETotal, int64_t* tag,
    int32_t* duration) {
  const Args call(deliveryId, hoseId, state, type, volume, priceLevel, unitPrice, value, volume2,
                  completedDate, lockedBy, reservedBy, attendantId, age, clearedDate,
                  oldVolumeETotal, oldVolume2ETotal, oldValueETotal, newVolumeETotal,
                  newVolume2ETotal, newValueETotal, tag, duration);
  return ServeOn("GetDeliveryPropertiesEx2", call, [&](auto& station) {
    SimDelivery d{};
    int32_t seconds = 0;
    if (const int32_t r = station.Delivery(deliveryId, d, seconds)) {
      return r;
    }
    Put(hoseId, d.hoseId);
    Put(state, d.state);
    Put(type, d.type);
    Put(volume, d.volume);
    Put(priceLevel, d.priceLevel);
    Put(unitPrice, d.unitPrice);
    Put(value, d.amount);
    Put(volume2, d.volume2);
    Put(completedDate, d.completedDate);
    Put(lockedBy, d.lockedBy);
    Put(reservedBy, d.reservedBy);
    Put(attendantId, d.attendantId);
    Put(age, seconds);
    Put(clearedDate, d.clearedDate);
    Put(oldVolumeETotal, d.startTotalizer);
    Put(oldVolume2ETotal, d.startVolume2Total);
    Put(oldValueETotal, d.startValueTotal);
    Put(newVolumeETotal, d.endTotalizer);
    Put(newVolume2ETotal, d.endVolume2Total);
    Put(newValueETotal, d.endValueTotal);
    Put(tag, d.code);
    Put(duration, d.durationSeconds);
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API QXResult QX_CALL LockDelivery(int32_t deliveryId) {
  return ServeOn("LockDelivery", Args(deliveryId),
                 [&](auto& station) { return station.LockDelivery(deliveryId); });
}

QX_API QXResult QX_CALL ClearDelivery(int32_t deliveryId, int16_t type) {
  return ServeOn("ClearDelivery", Args(deliveryId, type),
                 [&](auto& station) { return station.ClearDelivery(deliveryId, type); });
}

// Hoses.

QX_API QXResult QX_CALL GetHoseByOrdinal(int32_t ordinal, int32_t* hoseId) {
  return ServeOn("GetHoseByOrdinal", Args(ordinal, hoseId), [&](auto& station) {
    int32_t id = 0;
    const int32_t r = station.HoseByOrdinal(ordinal, id);
    if (r == SIM_OK) Put(hoseId, id);
    return r;
  });
}

QX_API QXResult QX_CALL GetHosePropertiesEx2(int32_t hoseId, int32_t* number, int32_t* pumpId,
                                             int32_t* tankId, int32_t* gradeId, double* volumeTotal,
                                             double* valueTotal, double* volume2Total,
                                             double* totalizer, int16_t* priceLevel, double* price,
                                             double* price2, int16_t* flags) {
  const Args call(hoseId, number, pumpId, tankId, gradeId, volumeTotal, valueTotal, volume2Total,
                  totalizer, priceLevel, price, price2, flags);
  return ServeOn("GetHosePropertiesEx2", call, [&](auto& station) {
    SimHose h{};
    if (const int32_t r = station.Hose(hoseId, h)) return r;
    Put(number, h.number);
    Put(pumpId, h.pumpId);
    Put(tankId, h.tankId);
    Put(gradeId, h.gradeId);
    Put(volumeTotal, h.volumeTotal);
    Put(valueTotal, h.valueTotal);
    Put(volume2Total, h.volume2Total);
    Put(totalizer, h.totalizer);
    Put(priceLevel, 1);  // the level in force
    Put(price, h.price);
    Put(price2, h.price2);
    Put(flags, 1);  // enabled
    return static_cast<int32_t>(SIM_OK);
  });
}

QX_API QXResult QX_CALL SetHosePrices(int32_t hoseId, int32_t durationType, int16_t priceType,
                                      double price1, double price2) {
  return ServeOn("SetHosePrices", Args(hoseId, durationType, priceType, price1, price2),
                 [&](auto& station) {
                   return station.SetHosePrices(hoseId, durationType, priceType, price1, price2);
                 });
}

// Pump commands.

QX_API QXResult QX_CALL Authorise(int32_t pumpId) {
  return ServeOn("Authorise", Args(pumpId),
                 [&](auto& station) { return station.Authorise(pumpId); });
}

QX_API QXResult QX_CALL TempStop(int32_t pumpId) {
  return ServeOn("TempStop", Args(pumpId), [&](auto& station) { return station.TempStop(pumpId); });
}

QX_API QXResult QX_CALL ReAuthorise(int32_t pumpId) {
  return ServeOn("ReAuthorise", Args(pumpId),
                 [&](auto& station) { return station.ReAuthorise(pumpId); });
}

QX_API QXResult QX_CALL AllStop() {
  return ServeOn("AllStop", Args<>(), [](auto& station) { return station.AllStop(); });
}

QX_API QXResult QX_CALL AllReAuthorise() {
  return ServeOn("AllReAuthorise", Args<>(),
                 [](auto& station) { return station.AllReAuthorise(); });
}

// Everything else: present, recorded, not supported.
#define QXSIM_SKIP(name)
#define QXSIM_NOT_SUPPORTED(name)                                                         \
  QXSIM_UNLESS_LACKING(name)                                                              \
  (QX_API QXResult QX_CALL name() {                                                       \
    return Serve(#name, Args<>(),                                                         \
                 [](Simulator&) { return static_cast<int32_t>(SIM_ERR_NOT_SUPPORTED); }); \
  })
QX_ENTRY_POINTS(QXSIM_SKIP, QXSIM_NOT_SUPPORTED)
#undef QXSIM_NOT_SUPPORTED
#undef QXSIM_SKIP

}  // extern "C"
}  // namespace qx
