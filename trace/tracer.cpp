// The tracing QXClient.dll. A technician puts it in the host's folder in the
// place of the controller's client library, which is renamed
// QXClient.real.dll. On its first call it loads that library and opens a
// trace file; every call then goes to the real library unchanged, and comes
// back with a line in the trace (trace_line.h): the 22 operations that the
// driver calls with every input and output, the others with their name and
// result (forward.h).
//
// Where things are, each given by an environment variable, else by
// QXTrace.ini beside this DLL (section [QXTrace]; a relative path there is
// relative to this DLL's folder), else by default:
//   the real library  QXTRACE_REAL, Real=   QXClient.real.dll beside this DLL
//   the trace         QXTRACE_FILE, File=   QXTrace_<yyyymmdd>_<hhmmss>_<pid>.jsonl
//                                           beside this DLL
// A trace that another process is writing is left to it: this one then
// writes <name>_<pid><.ext> and says so in its first line.
//
// Without the real library (missing, for another architecture, or lacking
// an entry point) every call that cannot go through answers the Windows
// error code of the failure: 126 (not found), 193 (not a DLL for this
// process), 127 (the library lacks that entry point), or whatever Windows
// said; the trace says so in a line of its own. For the driver that is a
// controller that refuses everything: its start fails and every operation
// gives 0, as with no library at all, and its log shows the code.
#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <type_traits>

#include "contract/qxclient_api.h"
#include "trace/forward.h"
#include "trace/trace_file.h"
#include "trace/trace_line.h"

#undef DeletePort

namespace qxtrace {
namespace {

// The typed entry points of the real library.
struct Real {
#define QXT_FIELD(name) decltype(&qx::name) name = nullptr;
#define QXT_SKIP(name)
  QX_ENTRY_POINTS(QXT_FIELD, QXT_SKIP)
#undef QXT_FIELD
};

struct Tracer {
  HMODULE self = nullptr;
  DWORD tls = TLS_OUT_OF_INDEXES;
  INIT_ONCE once = INIT_ONCE_STATIC_INIT;
  HMODULE real = nullptr;
  DWORD failure = 0;  // why the real library is not there
  TraceFile trace;
  LARGE_INTEGER frequency{};
  LARGE_INTEGER origin{};
  Real typed;
};

Tracer tracer;

LONGLONG Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

// Microseconds since the trace began, in integers only: the thunks call
// this with a float result possibly still on the x87 stack.
int64_t Micros(LONGLONG ticks) {
  const LONGLONG elapsed = ticks - tracer.origin.QuadPart;
  const LONGLONG f = tracer.frequency.QuadPart;
  return elapsed / f * 1000000 + elapsed % f * 1000000 / f;
}

void Write(const Line& line) {
  if (line.whole()) tracer.trace.Append(line.data(), line.size());
}

std::string OwnFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(tracer.self, path, sizeof path);
  if (n == 0 || n == sizeof path) return std::string();
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

bool IsRelative(const std::string& path) {
  return !path.empty() && path[0] != '\\' && path[0] != '/' && !(path.size() > 1 && path[1] == ':');
}

// A setting: the environment variable, else the ini's key, else `fallback`.
std::string Setting(const char* variable, const char* key, const std::string& fallback,
                    const std::string& folder) {
  char value[MAX_PATH];
  DWORD n = GetEnvironmentVariableA(variable, value, sizeof value);
  if (n > 0 && n < sizeof value) return std::string(value, n);
  n = GetPrivateProfileStringA("QXTrace", key, "", value, sizeof value,
                               (folder + "QXTrace.ini").c_str());
  if (n > 0) {
    const std::string given(value, n);
    return IsRelative(given) ? folder + given : given;
  }
  return fallback;
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return n > 0 && n < sizeof full ? std::string(full, n) : path;
}

std::wstring Wide(const std::string& text) {
  const int n =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
  }
  return wide;
}

// A line that is not a call: what the tracer itself has to say.
void Note(const std::string& text) {
  const std::wstring wide = Wide(text);
  Line line;
  line.Open();
  line.Key("t");
  line.Int(Micros(Ticks()));
  line.Key("th");
  line.Int(GetCurrentThreadId());
  line.Key("note");
  line.Text(wide.c_str(), wide.size());
  line.Close();
  Write(line);
}

// day.jsonl -> day_1044.jsonl: this process's own name for a trace.
std::string WithProcessId(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = path.size();
  return path.substr(0, dot) + "_" + std::to_string(GetCurrentProcessId()) + path.substr(dot);
}

void OpenTrace(const std::string& folder, const std::string& realPath) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04u%02u%02u_%02u%02u%02u_%lu", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, GetCurrentProcessId());
  const std::string asked =
      Setting("QXTRACE_FILE", "File", folder + "QXTrace_" + stamp + ".jsonl", folder);
  std::string path = asked, busy;
  if (!tracer.trace.Open(path) && GetLastError() == ERROR_SHARING_VIOLATION) {
    // Another host traces to the same file (a setting they share): its
    // lines are its own.
    path = WithProcessId(asked);
    busy = asked + " is in use by another process; this process writes " + path;
    tracer.trace.Open(path);
  }
  if (!tracer.trace.open()) {
    OutputDebugStringA(
        ("QXClient tracer: cannot write " + path + "; calls go through untraced\n").c_str());
    return;
  }
  if (!busy.empty()) OutputDebugStringA(("QXClient tracer: " + busy + "\n").c_str());
  char started[40];
  std::snprintf(started, sizeof started, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", now.wYear,
                now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  const std::wstring real = Wide(realPath);
  Line line;
  line.Open();
  line.Key("trace");
  line.String("QXClient");
  line.Key("format");
  line.Int(1);
  line.Key("started");
  line.String(started);
  line.Key("pid");
  line.Int(GetCurrentProcessId());
  line.Key("bits");
  line.Int(sizeof(void*) * 8);
  line.Key("real");
  line.Text(real.c_str(), real.size());
  if (!busy.empty()) {
    const std::wstring note = Wide(busy);
    line.Key("note");
    line.Text(note.c_str(), note.size());
  }
  line.Close();
  Write(line);
}

std::string LoadFailure(const std::string& path, DWORD code) {
  std::string why;
  switch (code) {
    case ERROR_MOD_NOT_FOUND:
      why = "it (or a DLL it needs) was not found";
      break;
    case ERROR_BAD_EXE_FORMAT:
      why = "it is not a DLL for a " + std::to_string(sizeof(void*) * 8) + "-bit process";
      break;
    case ERROR_CIRCULAR_DEPENDENCY:
      why = "it is this tracing library itself";
      break;
    default:
      why = "Windows error " + std::to_string(code);
      break;
  }
  return "cannot load the real library " + path + ": " + why + "; every call answers " +
         std::to_string(code);
}

void LoadReal(const std::string& path) {
  HMODULE real = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  DWORD code = real ? 0 : GetLastError();
  if (real == tracer.self) {  // named itself: every call would loop
    FreeLibrary(real);
    real = nullptr;
    code = ERROR_CIRCULAR_DEPENDENCY;
  }
  if (real == nullptr) {
    tracer.failure = code ? code : ERROR_MOD_NOT_FOUND;
    Note(LoadFailure(path, tracer.failure));
    return;
  }
  std::string lacking;
  int missing = 0;
  auto resolve = [&](const char* name) {
    void* address = reinterpret_cast<void*>(GetProcAddress(real, name));
    if (address == nullptr) {
      lacking += (missing++ ? ", " : "") + std::string(name);
    }
    return address;
  };
#define QXT_RESOLVE(name) tracer.typed.name = reinterpret_cast<decltype(&qx::name)>(resolve(#name));
  QX_ENTRY_POINTS(QXT_RESOLVE, QXT_SKIP)
#undef QXT_RESOLVE
  for (int i = 0; i < kForwardedCount; ++i) {
    kForwarded[i]->real = resolve(kForwarded[i]->name);
  }
  tracer.real = real;
  if (missing > 0) {
    Note(path + " lacks " + std::to_string(missing) + " entry point" + (missing > 1 ? "s" : "") +
         " (" + lacking + "); " + (missing > 1 ? "their calls answer " : "its calls answer ") +
         std::to_string(ERROR_PROC_NOT_FOUND));
  }
}

BOOL CALLBACK Start(PINIT_ONCE, PVOID, PVOID*) {
  QueryPerformanceFrequency(&tracer.frequency);
  QueryPerformanceCounter(&tracer.origin);
  try {
    const std::string folder = OwnFolder();
    const std::string real =
        FullPath(Setting("QXTRACE_REAL", "Real", folder + "QXClient.real.dll", folder));
    OpenTrace(folder, real);
    LoadReal(real);
  } catch (...) {  // out of memory: nothing may be thrown at the host
    if (tracer.real == nullptr) tracer.failure = ERROR_NOT_ENOUGH_MEMORY;
  }
  return TRUE;
}

// Loads the real library and opens the trace at the first call of any
// thread; the others wait for it.
void Ready() { InitOnceExecuteOnce(&tracer.once, Start, nullptr, nullptr); }

// The answer of an entry point that cannot go through, as the contract
// declares them: without arguments.
QXResult QX_CALL LibraryMissing() { return static_cast<QXResult>(tracer.failure); }
QXResult QX_CALL EntryPointMissing() { return ERROR_PROC_NOT_FOUND; }

// The typed calls: inputs are the values, outputs the pointers (a BSTR
// input is a pointer too, to wide characters).
template <class T>
constexpr bool kIsOutput = std::is_pointer_v<T> && !std::is_same_v<T, BSTR>;

// A BSTR that the library hands out carries its length (and may hold a
// NUL); one that the caller passes in is read up to its NUL, as a caller
// may pass a plain wide string.
void Value(Line& line, BSTR text) { line.Text(text, text ? SysStringLen(text) : 0); }
void Value(Line& line, double value) { line.Real(value); }
template <class T>
std::enable_if_t<std::is_integral_v<T>> Value(Line& line, T value) {
  line.Int(value);
}

template <class T>
void Input(Line& line, T value) {
  if constexpr (std::is_same_v<T, BSTR>)
    line.Text(value, value ? wcslen(value) : 0);
  else if constexpr (!kIsOutput<T>)
    Value(line, value);
}

template <class T>
void Output(Line& line, T pointer) {
  if constexpr (kIsOutput<T>) {
    if (pointer == nullptr)
      line.Null();
    else
      Value(line, *pointer);
  }
}

template <class Fn, class... A>
QXResult Traced(Fn Real::*field, const char* name, A... args) {
  Ready();
  const Fn real = tracer.typed.*field;
  const LONGLONG start = Ticks();
  const QXResult result =
      real ? real(args...)
           : static_cast<QXResult>(tracer.real ? ERROR_PROC_NOT_FOUND : tracer.failure);
  const LONGLONG end = Ticks();
  if (!tracer.trace.open()) return result;
  const DWORD lastError = GetLastError();
  Line line;
  line.Begin(Micros(start), GetCurrentThreadId(), name);
  line.OpenList("in");
  (Input(line, args), ...);
  line.CloseList();
  // Outputs are the library's only when it succeeded.
  if (result == 0 && (kIsOutput<A> || ...)) {
    line.OpenList("out");
    (Output(line, args), ...);
    line.CloseList();
  }
  line.End(result, Micros(end) - Micros(start));
  Write(line);
  SetLastError(lastError);
  return result;
}

// The return addresses that the thunks keep, per thread: a stack, as a
// real entry point might call back into a host that calls again.
struct Frame {
  void* returnAddress;
  Forwarded* entry;
  LONGLONG start;
};
struct Frames {
  uint32_t depth;
  uint32_t capacity;
  Frame* items;
};

Frame* PushFrame() {
  auto* frames = static_cast<Frames*>(TlsGetValue(tracer.tls));
  HANDLE heap = GetProcessHeap();
  if (frames == nullptr) {
    frames = static_cast<Frames*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, sizeof(Frames)));
    if (frames == nullptr || !TlsSetValue(tracer.tls, frames)) {
      if (frames) HeapFree(heap, 0, frames);
      return nullptr;
    }
  }
  if (frames->depth == frames->capacity) {
    const uint32_t capacity = frames->capacity ? frames->capacity * 2 : 4;
    const SIZE_T bytes = capacity * sizeof(Frame);
    void* grown =
        frames->items ? HeapReAlloc(heap, 0, frames->items, bytes) : HeapAlloc(heap, 0, bytes);
    if (grown == nullptr) return nullptr;
    frames->items = static_cast<Frame*>(grown);
    frames->capacity = capacity;
  }
  return &frames->items[frames->depth++];
}

void FreeFrames() {
  if (tracer.tls == TLS_OUT_OF_INDEXES) return;
  auto* frames = static_cast<Frames*>(TlsGetValue(tracer.tls));
  if (frames == nullptr) return;
  HANDLE heap = GetProcessHeap();
  if (frames->items) HeapFree(heap, 0, frames->items);
  HeapFree(heap, 0, frames);
  TlsSetValue(tracer.tls, nullptr);
}

}  // namespace
}  // namespace qxtrace

using qxtrace::Forwarded;
using qxtrace::tracer;

extern "C" void* qxtrace_enter(Forwarded* entry, void* returnAddress, int32_t* traced) {
  const DWORD lastError = GetLastError();
  qxtrace::Ready();
  void* target = entry->real;
  if (target == nullptr) {
    target = tracer.real ? reinterpret_cast<void*>(&qxtrace::EntryPointMissing)
                         : reinterpret_cast<void*>(&qxtrace::LibraryMissing);
  }
  *traced = 0;
  if (tracer.trace.open()) {
    if (qxtrace::Frame* frame = qxtrace::PushFrame()) {
      frame->returnAddress = returnAddress;
      frame->entry = entry;
      frame->start = qxtrace::Ticks();
      *traced = 1;
    }
  }
  SetLastError(lastError);
  return target;
}

extern "C" void* qxtrace_leave(intptr_t result) {
  const LONGLONG end = qxtrace::Ticks();
  const DWORD lastError = GetLastError();
  auto* frames = static_cast<qxtrace::Frames*>(TlsGetValue(tracer.tls));
  const qxtrace::Frame frame = frames->items[--frames->depth];
  qxtrace::Line line;
  line.Begin(qxtrace::Micros(frame.start), GetCurrentThreadId(), frame.entry->name);
  line.End(static_cast<int32_t>(result), qxtrace::Micros(end) - qxtrace::Micros(frame.start));
  qxtrace::Write(line);
  SetLastError(lastError);
  return frame.returnAddress;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      tracer.self = module;
      tracer.tls = TlsAlloc();
      return tracer.tls != TLS_OUT_OF_INDEXES;
    case DLL_THREAD_DETACH:
      qxtrace::FreeFrames();
      break;
    case DLL_PROCESS_DETACH:
      // The trace is cut after its last line also when the process ends.
      tracer.trace.Close();
      if (reserved != nullptr) break;  // the process is ending: nothing else to tidy
      qxtrace::FreeFrames();
      TlsFree(tracer.tls);
      break;
  }
  return TRUE;
}

// The typed entry points, as the contract declares them.
namespace qx {
extern "C" {

using qxtrace::Real;
using qxtrace::Traced;

QX_API QXResult QX_CALL ClientLogonEx(int32_t clientId, int16_t clientType, BSTR serverAddress,
                                      uint16_t callPort, uint16_t eventPort, int32_t timeout,
                                      int32_t handle, int32_t hWnd, int32_t hMsg) {
  return Traced(&Real::ClientLogonEx, "ClientLogonEx", clientId, clientType, serverAddress,
                callPort, eventPort, timeout, handle, hWnd, hMsg);
}

QX_API QXResult QX_CALL ClientLogoff() { return Traced(&Real::ClientLogoff, "ClientLogoff"); }

QX_API QXResult QX_CALL TestConnection() { return Traced(&Real::TestConnection, "TestConnection"); }

QX_API QXResult QX_CALL GetPumpsCount(int32_t* count) {
  return Traced(&Real::GetPumpsCount, "GetPumpsCount", count);
}

QX_API QXResult QX_CALL ProcessEvents() { return Traced(&Real::ProcessEvents, "ProcessEvents"); }

QX_API QXResult QX_CALL GetEventsCount(int32_t* count) {
  return Traced(&Real::GetEventsCount, "GetEventsCount", count);
}

QX_API QXResult QX_CALL GetNextEventType(int32_t* eventType) {
  return Traced(&Real::GetNextEventType, "GetNextEventType", eventType);
}

QX_API QXResult QX_CALL DiscardNextEvent() {
  return Traced(&Real::DiscardNextEvent, "DiscardNextEvent");
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
  return Traced(&Real::GetNextPumpEventEx2, "GetNextPumpEventEx2", pumpId, pumpNumber, pumpState,
                reservedFor, reservedBy, hoseId, hoseNumber, gradeNumber, gradeId, deliveryId,
                gradeName, shortGradeName, priceLevel, price, volume, value, stackSize, pumpName,
                physicalNumber, side, address, priceLevel1, priceLevel2, pumpType, portId, authMode,
                stackMode, prepayAllowed, preauthAllowed, priceFormat, valueFormat, volumeFormat,
                tag, attendantId, attendantNumber, attendantName, attendantTag, cardClientId,
                cardClientNumber, cardClientName, cardClientTag);
}

QX_API QXResult QX_CALL GetDeliveriesCount(int32_t* count) {
  return Traced(&Real::GetDeliveriesCount, "GetDeliveriesCount", count);
}

QX_API QXResult QX_CALL GetDeliveryByOrdinal(int32_t ordinal, int32_t* deliveryId) {
  return Traced(&Real::GetDeliveryByOrdinal, "GetDeliveryByOrdinal", ordinal, deliveryId);
}

QX_API QXResult QX_CALL GetDeliveryPropertiesEx2(
    int32_t deliveryId, int32_t* hoseId, int16_t* state, int16_t* type, double* volume,
    int16_t* priceLevel, double* unitPrice, double* value, double* volume2, double* completedDate,
    int32_t* lockedBy, int32_t* reservedBy, int32_t* attendantId, int32_t* age, double* clearedDate,
    double* oldVolumeETotal, double* oldVolume2ETotal, double* oldValueETotal,
    double* newVolumeETotal, double* newVolume2ETotal, double* newValueETotal, int64_t* tag,
    int32_t* duration) {
  return Traced(&Real::GetDeliveryPropertiesEx2, "GetDeliveryPropertiesEx2", deliveryId, hoseId,
                state, type, volume, priceLevel, unitPrice, value, volume2, completedDate, lockedBy,
                reservedBy, attendantId, age, clearedDate, oldVolumeETotal, oldVolume2ETotal,
                oldValueETotal, newVolumeETotal, newVolume2ETotal, newValueETotal, tag, duration);
}

QX_API QXResult QX_CALL LockDelivery(int32_t deliveryId) {
  return Traced(&Real::LockDelivery, "LockDelivery", deliveryId);
}

QX_API QXResult QX_CALL ClearDelivery(int32_t deliveryId, int16_t type) {
  return Traced(&Real::ClearDelivery, "ClearDelivery", deliveryId, type);
}

QX_API QXResult QX_CALL GetHoseByOrdinal(int32_t ordinal, int32_t* hoseId) {
  return Traced(&Real::GetHoseByOrdinal, "GetHoseByOrdinal", ordinal, hoseId);
}

QX_API QXResult QX_CALL GetHosePropertiesEx2(int32_t hoseId, int32_t* number, int32_t* pumpId,
                                             int32_t* tankId, int32_t* gradeId, double* volumeTotal,
                                             double* valueTotal, double* volume2Total,
                                             double* totalizer, int16_t* priceLevel, double* price,
                                             double* price2, int16_t* flags) {
  return Traced(&Real::GetHosePropertiesEx2, "GetHosePropertiesEx2", hoseId, number, pumpId, tankId,
                gradeId, volumeTotal, valueTotal, volume2Total, totalizer, priceLevel, price,
                price2, flags);
}

QX_API QXResult QX_CALL SetHosePrices(int32_t hoseId, int32_t durationType, int16_t priceType,
                                      double price1, double price2) {
  return Traced(&Real::SetHosePrices, "SetHosePrices", hoseId, durationType, priceType, price1,
                price2);
}

QX_API QXResult QX_CALL Authorise(int32_t pumpId) {
  return Traced(&Real::Authorise, "Authorise", pumpId);
}

QX_API QXResult QX_CALL TempStop(int32_t pumpId) {
  return Traced(&Real::TempStop, "TempStop", pumpId);
}

QX_API QXResult QX_CALL ReAuthorise(int32_t pumpId) {
  return Traced(&Real::ReAuthorise, "ReAuthorise", pumpId);
}

QX_API QXResult QX_CALL AllStop() { return Traced(&Real::AllStop, "AllStop"); }

QX_API QXResult QX_CALL AllReAuthorise() { return Traced(&Real::AllReAuthorise, "AllReAuthorise"); }

}  // extern "C"
}  // namespace qx
