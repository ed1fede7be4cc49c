// The tracing QXClient.dll in front of a real library: every name exported and forwarded with the
// stack kept, values recorded exactly enough to be replayed bit for bit, a long trace replayed in
// little memory, and a missing library answered. Each suite runs in a process of its own
// (CMakeLists.txt), as the tracer binds its real library once per process: --real names that
// library, --trace the trace file (both beside the program).
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <set>
#include <sstream>
#include <thread>
#include <type_traits>

#include "host_api/register_call.h"
#include "tests/common/fixture.h"
#include "tests/trace/probe.h"

#undef DeletePort

namespace {

using Json = nlohmann::json;

std::string traceFile;

HMODULE Tracer() { return LoadLibraryA("QXClient.dll"); }
HMODULE RealLibrary() { return LoadLibraryA((ExeFolder() + "QXClient.real.dll").c_str()); }

// The simulator behind the tracer, reset.
SimControl RealSimulator() {
  SimControl sim{};
  EXPECT_TRUE(LoadSimControl(RealLibrary(), sim));
  if (sim.SimReset) sim.SimReset();
  return sim;
}

// What the tracer has written: while it is loaded, the file runs on in zeros after its last line.
std::string TraceText() {
  std::string written = ReadFile(traceFile);
  written.resize(std::min(written.size(), written.find('\0')));
  return written;
}

// The trace's lines; one that is not a JSON object fails the test.
std::vector<Json> TraceLines(const char* kind) {
  std::vector<Json> lines;
  std::istringstream text(TraceText());
  for (std::string line; std::getline(text, line);) {
    Json parsed = Json::parse(line, nullptr, false);
    EXPECT_TRUE(parsed.is_object()) << "not a trace line: " << line;
    if (parsed.is_object() && parsed.contains(kind)) lines.push_back(parsed);
  }
  return lines;
}

// The contract's names in order, and whether the tracer knows their types.
struct Name {
  const char* name;
  bool typed;
};
#define TRACE_TYPED(name) {#name, true},
#define TRACE_BLIND(name) {#name, false},
const Name kNames[] = {QX_ENTRY_POINTS(TRACE_TYPED, TRACE_BLIND)};

// Every entry point of a module, typed as the contract declares it.
struct Client {
#define TRACE_FIELD(name) decltype(&qx::name) name = nullptr;
#define TRACE_SKIP(name)
  QX_ENTRY_POINTS(TRACE_FIELD, TRACE_SKIP)
  explicit Client(HMODULE module) {
#define TRACE_BIND(name) \
  name = reinterpret_cast<decltype(name)>(reinterpret_cast<void*>(GetProcAddress(module, #name)));
    QX_ENTRY_POINTS(TRACE_BIND, TRACE_SKIP)
  }
};

// A call through a bare address with the arguments in their declared types; on i686 it also tells
// whether ESP and the callee-saved registers came back as they went.
struct Checked {
  int32_t result;
  bool balanced;
};

#if defined(__i386__)
template <class T>
void Push(uint32_t* slots, uint32_t& n, T value) {
  if constexpr (std::is_same_v<T, double>) {
    std::memcpy(&slots[n], &value, sizeof value);
    n += 2;
  } else if constexpr (std::is_pointer_v<T>) {
    slots[n++] = reinterpret_cast<uintptr_t>(value);
  } else {
    slots[n++] = static_cast<uint32_t>(static_cast<int32_t>(value));
  }
}

// Through the driver's ABI caller (host/register_call.h): it puts three slots in registers, which
// stdcall ignores, and pushes the others left to right, so the stack slots go in reversed.
template <class... A>
Checked Call(FARPROC function, A... args) {
  uint32_t forward[64];
  uint32_t n = 0;
  (Push(forward, n, args), ...);
  uint32_t slots[67] = {};
  for (uint32_t i = 0; i < n; ++i) slots[3 + i] = forward[n - 1 - i];
  RegisterCallCheck check{1, 0};
  const auto result = static_cast<int32_t>(
      korvan_call_register(reinterpret_cast<const void*>(function), slots, n + 3, &check));
  return {result, check.stackDelta == 0 && check.preserved == 1};
}
#else
template <class... A>
Checked Call(FARPROC function, A... args) {
  const auto typed = reinterpret_cast<QXResult(QX_CALL*)(A...)>(reinterpret_cast<void*>(function));
  return {typed(args...), true};
}
#endif

// Output slots for the long calls, and those calls made through `call`: typed or a bare address.
struct Slots {
  int32_t l[12] = {};
  int16_t h[20] = {};
  double d[12] = {};
  int64_t q = 0;
  BSTR t[5] = {};
  BSTR address = SysAllocString(L"127.0.0.1");
  ~Slots() {
    for (BSTR text : t) SysFreeString(text);
    SysFreeString(address);
  }
  template <class F>
  auto Logon(F call) {
    return call(97, int16_t{7}, address, uint16_t{5123}, uint16_t{5124}, 10000, 0, 0, 0);
  }
  template <class F>
  auto PumpEvent(F call) {
    return call(&l[0], &h[0], &h[1], &h[2], &l[1], &l[2], &h[3], &h[4], &l[3], &l[4], &t[0], &t[1],
                &h[5], &d[0], &d[1], &d[2], &h[6], &t[2], &l[5], &h[7], &h[8], &h[9], &h[10],
                &h[11], &l[6], &h[12], &h[13], &h[14], &h[15], &h[16], &h[17], &h[18], &d[3], &l[7],
                &l[8], &t[3], &d[4], &l[9], &l[10], &t[4], &d[5]);
  }
  template <class F>
  auto Delivery(F call, int32_t id) {
    return call(id, &l[0], &h[0], &h[1], &d[0], &h[2], &d[1], &d[2], &d[3], &d[4], &l[1], &l[2],
                &l[3], &l[4], &d[5], &d[6], &d[7], &d[8], &d[9], &d[10], &d[11], &q, &l[5]);
  }
};

// One call of entry point `n` of `module` with plausible arguments.
Checked CallOnce(HMODULE module, const std::string& n) {
  const FARPROC f = GetProcAddress(module, n.c_str());
  const auto call = [f](auto... args) { return Call(f, args...); };
  Slots s;
  int32_t* l = s.l;
  if (n == "ClientLogonEx") return s.Logon(call);
  if (n == "GetNextPumpEventEx2") return s.PumpEvent(call);
  if (n == "GetDeliveryPropertiesEx2") return s.Delivery(call, 1001);
  if (n == "GetPumpsCount" || n == "GetEventsCount" || n == "GetNextEventType" ||
      n == "GetDeliveriesCount")
    return Call(f, &l[0]);
  if (n == "GetDeliveryByOrdinal" || n == "GetHoseByOrdinal") return Call(f, 1, &l[0]);
  if (n == "GetHosePropertiesEx2")
    return Call(f, 11, &l[0], &l[1], &l[2], &l[3], &s.d[0], &s.d[1], &s.d[2], &s.d[3], &s.h[0],
                &s.d[4], &s.d[5], &s.h[1]);
  if (n == "LockDelivery" || n == "Authorise" || n == "TempStop" || n == "ReAuthorise")
    return Call(f, 1001);
  if (n == "ClearDelivery") return Call(f, 1001, int16_t{1});
  if (n == "SetHosePrices") return Call(f, 11, 2, int16_t{1}, 5.5, 5.5);
  return Call(f);  // the blind ones as the contract declares them, and those without arguments
}

// The trace's one note, holding each of `parts`.
void ExpectOneNote(std::initializer_list<std::string> parts) {
  const std::vector<Json> notes = TraceLines("note");
  ASSERT_EQ(notes.size(), 1u);
  const std::string note = notes[0]["note"];
  for (const std::string& part : parts)
    EXPECT_NE(note.find(part), std::string::npos) << "note: " << note << "\nwanted in it: " << part;
}

// Every name: exported, forwarded (the simulator behind counts each call),
// the stack kept, one line each in the trace with the result returned.
TEST(Exports, EveryNameReachesTheRealLibraryAndIsRecorded) {
  const SimControl sim = RealSimulator();
  ASSERT_NE(sim.SimReset, nullptr);
  AddPumps(sim, 1);
  std::vector<int32_t> results;
  for (const Name& n : kNames) {
    SCOPED_TRACE(n.name);
    ASSERT_NE(GetProcAddress(Tracer(), n.name), nullptr);
    const Checked c = CallOnce(Tracer(), n.name);
    EXPECT_TRUE(c.balanced) << "ESP or a callee-saved register changed";
    EXPECT_EQ(sim.SimCountCalls(n.name), 1);
    if (!n.typed) {
      EXPECT_EQ(c.result, SIM_ERR_NOT_SUPPORTED);
    }
    results.push_back(c.result);
  }
  const std::vector<Json> calls = TraceLines("op");
  ASSERT_EQ(calls.size(), std::size(kNames));
  for (size_t i = 0; i < calls.size(); ++i) {
    EXPECT_EQ(calls[i]["op"], kNames[i].name);
    EXPECT_EQ(calls[i]["r"], results[i]) << kNames[i].name;
    EXPECT_EQ(calls[i].contains("in"), kNames[i].typed) << kNames[i].name;
  }
}

// A library whose blind entry points take (int32, double, int32): each call through the tracer
// arrives whole at its own entry point, the stack balanced, from several threads at once.
TEST(Forwarding, ArgumentsResultsAndTheStackPassUntouched) {
  std::vector<Name> blind;
  for (const Name& n : kNames)
    if (!n.typed) blind.push_back(n);
  constexpr int kThreads = 4, kRounds = 5;
  std::vector<std::string> wrong[kThreads], made[kThreads];
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round)
        for (size_t i = 0; i < blind.size(); ++i) {
          const int32_t a = static_cast<int32_t>(i) + 1000 * t, c = -round;
          const double b = 0.5 + round;
          const Checked got = Call(GetProcAddress(Tracer(), blind[i].name), a, b, c);
          const int32_t wanted = ProbeAnswer(blind[i].name, a, b, c);
          made[t].push_back(std::string(blind[i].name) + "=" + std::to_string(wanted));
          if ((got.result != wanted || !got.balanced) && wrong[t].size() < 5)
            wrong[t].push_back(std::string(blind[i].name) + ": got " + std::to_string(got.result) +
                               ", wanted " + std::to_string(wanted) +
                               (got.balanced ? "" : ", stack moved"));
        }
    });
  for (std::thread& thread : threads) thread.join();
  for (const auto& list : wrong) EXPECT_EQ(Join(list), "");
  // Every call has its line, whole, with the result it returned.
  std::multiset<std::string> wanted, recorded;
  for (const auto& list : made) wanted.insert(list.begin(), list.end());
  for (const Json& call : TraceLines("op"))
    recorded.insert(call["op"].get<std::string>() + "=" + std::to_string(call["r"].get<int>()));
  EXPECT_TRUE(recorded == wanted) << recorded.size() << " lines for " << wanted.size() << " calls";
}

TEST(Forwarding, TypedEntryPointsTheLibraryLacksAnswer127) {
  const Client tracer(Tracer());
  int32_t count = -1;
  EXPECT_EQ(tracer.TestConnection(), 127);
  EXPECT_EQ(tracer.GetPumpsCount(&count), 127);
  EXPECT_EQ(count, -1);
  ExpectOneNote({"lacks 22 entry points (ClientLogonEx, ClientLogoff, TestConnection",
                 "their calls answer 127"});
}

// Odd doubles, a 64-bit code and texts with quotes, backslashes and characters beyond ASCII,
// recorded through the tracer, then replayed by the simulator behind it from the trace: every
// output comes back with the same bits, and the recorded texts read as the library handed them out.
struct Outputs {
  std::vector<int64_t> numbers;  // results, integers, and the bits of doubles
  std::vector<std::wstring> texts;
};

Outputs Play(const Client& c, double lastPrice = -0.0) {
  Outputs o;
  Slots s;
  o.numbers.push_back(s.Logon(c.ClientLogonEx));
  o.numbers.push_back(c.ProcessEvents());
  o.numbers.push_back(s.PumpEvent(c.GetNextPumpEventEx2));
  for (BSTR text : s.t)
    o.texts.push_back(text ? std::wstring(text, SysStringLen(text)) : L"<null>");
  int32_t id = 0;
  o.numbers.push_back(c.GetDeliveryByOrdinal(1, &id));
  o.numbers.push_back(s.Delivery(c.GetDeliveryPropertiesEx2, id));
  o.numbers.push_back(c.SetHosePrices(31, 2, 1, 0.1 + 0.2, lastPrice));
  for (int32_t v : s.l) o.numbers.push_back(v);
  for (int16_t v : s.h) o.numbers.push_back(v);
  for (double v : s.d) {
    int64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    o.numbers.push_back(bits);
  }
  o.numbers.push_back(s.q);
  return o;
}

TEST(Values, EveryOutputReplaysWithTheSameBits) {
  const SimControl sim = RealSimulator();
  const auto* scenario = reinterpret_cast<const char*>(
      u8"grade 1 name \"G\u00e1s \\\"aditivado\\\" \u00bd \\\\ fim\" short \"\u2603\"\n"
      u8"pump 1 id 11 name \"Bomba \u00c7\"\n"
      u8"hose 31 pump 1 grade 1 price 5.799 totalizer 0.30000000000000004\n"
      u8"at 0s pump 1 state calling hose 31\n");
  char error[256] = "";
  ASSERT_EQ(sim.SimLoadScenarioText(scenario, error, sizeof error), 0) << error;
  using Limits = std::numeric_limits<double>;
  SimDelivery odd = SimDeliveryDefaults(31, 0.1 + 0.2);
  odd.flags = 0, odd.unitPrice = -0.0, odd.amount = 1e-300, odd.volume2 = Limits::quiet_NaN();
  odd.completedDate = 46000.123456789, odd.clearedDate = Limits::infinity();
  odd.startTotalizer = -Limits::infinity(), odd.startVolume2Total = Limits::max();
  odd.startValueTotal = Limits::denorm_min(), odd.endTotalizer = 5.0, odd.code = INT64_MIN;
  ASSERT_GT(sim.SimAddDelivery(&odd), 0);

  const Outputs recorded = Play(Client(Tracer()));
  EXPECT_EQ(recorded.texts[0], L"G\u00e1s \"aditivado\" \u00bd \\ fim");
  EXPECT_EQ(recorded.texts[2], L"Bomba \u00c7");
  ASSERT_EQ(sim.SimReplayTrace(traceFile.c_str()), SIM_OK);
  const Outputs replayed = Play(Client(RealLibrary()));
  char divergence[512] = "";
  EXPECT_EQ(sim.SimTraceDivergence(divergence, sizeof divergence), 0) << divergence;
  EXPECT_EQ(sim.SimTraceAnswered(), 6);
  EXPECT_EQ(replayed.numbers, recorded.numbers);
  EXPECT_EQ(replayed.texts, recorded.texts);

  // The same calls but for one input's sign: the replay stops there.
  ASSERT_EQ(sim.SimReplayTrace(traceFile.c_str()), SIM_OK);
  Play(Client(RealLibrary()), +0.0);
  sim.SimTraceDivergence(divergence, sizeof divergence);
  EXPECT_STREQ(divergence,
               "trace line 7 (call 6): expected SetHosePrices(31,2,1,0.30000000000000004,-0), "
               "got SetHosePrices(31,2,1,0.30000000000000004,0)");
}

// Play, over and over: a checksum of every result and output.
uint64_t PlayOften(const Client& c, int times) {
  uint64_t sum = 1469598103934665603ull;
  const auto mix = [&](uint64_t v) { sum = (sum ^ v) * 1099511628211ull; };
  for (int i = 0; i < times; ++i) {
    const Outputs o = Play(c);
    for (int64_t v : o.numbers) mix(static_cast<uint64_t>(v));
    for (const std::wstring& text : o.texts)
      for (wchar_t ch : text) mix(static_cast<uint64_t>(ch));
  }
  return sum;
}

TEST(LongReplay, AHundredThousandCallsReplayInBoundedMemory) {
  constexpr int kPlays = 16667, kCalls = 6 * kPlays;  // Play makes 6 calls
  const SimControl sim = RealSimulator();
  AddPumps(sim, 2);
  SimDelivery delivery = SimDeliveryDefaults(11, 12.5);
  ASSERT_GT(sim.SimAddDelivery(&delivery), 0);
  sim.SimSetRecording(0);
  const uint64_t recorded = PlayOften(Client(Tracer()), kPlays);
  const auto traceBytes = TraceText().size();

  const size_t before = CommittedPrivateBytes();
  ASSERT_EQ(sim.SimReplayTrace(traceFile.c_str()), SIM_OK);
  const auto start = std::chrono::steady_clock::now();
  const uint64_t replayed = PlayOften(Client(RealLibrary()), kPlays);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const auto grown =
      static_cast<long long>(CommittedPrivateBytes()) - static_cast<long long>(before);
  char divergence[512] = "";
  EXPECT_EQ(sim.SimTraceDivergence(divergence, sizeof divergence), 0) << divergence;
  EXPECT_EQ(sim.SimTraceAnswered(), kCalls);
  EXPECT_EQ(replayed, recorded);
  // Reading the trace whole would take several times its size.
  EXPECT_LT(grown, 2 << 20) << "committed private bytes grew by " << grown;
  std::printf(
      "replayed %d calls from a trace of %zu bytes in %.2f s; committed private "
      "bytes grew by %lld\n",
      kCalls, traceBytes, seconds, grown);
}

// No real library, or one for the other architecture: the driver meets a
// controller that refuses everything, and the trace says why.
class MissingReal : public Station {
 protected:
  void ExpectRefusedWith(int32_t code, const char* why) {
    EXPECT_FALSE(Start());
    EXPECT_TRUE(HasRun(LogMessages(),
                       {"Error: " + std::to_string(code), "Falhou >AUT_IniciaComunicacao<"}));
    ExpectEveryOperationRefused();
    ExpectOneNote({why, "every call answers " + std::to_string(code)});
    const std::vector<Json> calls = TraceLines("op");
    EXPECT_GT(calls.size(), 10u);
    for (const Json& call : calls) EXPECT_EQ(call["r"], code) << call.dump();
  }
};

TEST_F(MissingReal, TheDriverFailsItsStartAndEveryOperation) {
  ExpectRefusedWith(ERROR_MOD_NOT_FOUND, "was not found");
}

using WrongArchitecture = MissingReal;

TEST_F(WrongArchitecture, TheDriverFailsItsStartAndEveryOperation) {
  // The simulator with its machine made the other one's.
  std::string image = ReadFile(ExeFolder() + "QXClient.real.dll");
  ASSERT_GT(image.size(), 0x200u);
  uint32_t header = 0;
  std::memcpy(&header, &image[0x3C], sizeof header);
  const uint16_t other = sizeof(void*) == 8 ? 0x14C : 0x8664;
  std::memcpy(&image[header + 4], &other, sizeof other);
  WriteFile(ExeFolder() + "QXClient.other.dll", image);
  ExpectRefusedWith(ERROR_BAD_EXE_FORMAT, "is not a DLL for a");
}

// QXTrace.ini beside the tracer names the real library and the trace,
// relative to its folder (the suite runs with neither variable set).
TEST(IniSettings, NameTheRealLibraryAndTheTrace) {
  const std::string ini = ExeFolder() + "QXTrace.ini";
  WriteFile(ini, "[QXTrace]\r\nReal=QXProbe.dll\r\nFile=" + traceFile.substr(ExeFolder().size()) +
                     "\r\n");
  const Checked got = Call(GetProcAddress(Tracer(), "GetPumpStatus"), 1, 2.0, 3);
  RemoveFile(ini);
  EXPECT_EQ(got.result, ProbeAnswer("GetPumpStatus", 1, 2.0, 3));
  const std::vector<Json> calls = TraceLines("op");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0]["r"], got.result);
}

}  // namespace

int main(int argc, char** argv) {
  ExitOnFault();
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option.rfind("--real=", 0) == 0) {
      SetEnvironmentVariableA("QXTRACE_REAL", (ExeFolder() + option.substr(7)).c_str());
    } else if (option.rfind("--trace=", 0) == 0) {
      traceFile = ExeFolder() + option.substr(8);
      RemoveFile(traceFile);
      SetEnvironmentVariableA("QXTRACE_FILE", traceFile.c_str());
    } else if (option == "--no-variables") {
      SetEnvironmentVariableA("QXTRACE_FILE", nullptr);
      SetEnvironmentVariableA("QXTRACE_REAL", nullptr);
    }
  }
  if (traceFile.empty()) {
    std::fprintf(stderr, "tracer_tests: --trace=FILE is needed\n");
    return 2;
  }
  return RUN_ALL_TESTS();
}
