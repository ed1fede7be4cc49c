// Benchmark: what the driver adds to the client calls under it, with logging
// off and the simulator's call record off. Each figure times a batch of calls
// as a whole; driver and bare batches alternate, after one warm-up round, and
// the median of the rounds is printed. "Bare" is the same client calls made
// directly on the simulator. On i686 the same operations are then timed
// through _KorvanStd.dll against _Korvan.dll called directly: what the
// stdcall companion adds. Prints figures; asserts nothing about speed.
//
//   benchmark [--rounds 15] [--calls 20000] [--best] [--only <text>]
//
// --only measures just the operations whose name contains the text, so that
// a profiler sees one operation at a time ("_KorvanStd.dll": the companion's
// rows alone).
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "contract/qxclient_api.h"
#include "include/korvan.h"
#include "host_api/host_environment.h"
#include "contract/sim_control.h"

namespace {

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "benchmark: %s\n", what);
  std::exit(2);
}

template <class Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (fn == nullptr) Fail(name);
}

// The driver's 26 exports in its own convention, bound by name.
struct Driver {
#define BENCH_RESULT_B int
#define BENCH_RESULT_V void
#define BENCH_EXPORT(kind, name, parameters, arguments) \
  BENCH_RESULT_##kind(KORVAN_DRIVER_CALL* name) KORVAN_DRIVER_PARAMETERS parameters = nullptr;
  KORVAN_OPERATIONS(BENCH_EXPORT)
#undef BENCH_EXPORT
};

// One of the tables above, bound from `file` beside the program.
template <class Exports>
Exports Load(const char* file) {
  HMODULE module = LoadLibraryA(file);
  if (module == nullptr) Fail(file);
  Exports exports;
#define BENCH_BIND(kind, name, parameters, arguments) Bind(module, #name, exports.name);
  KORVAN_OPERATIONS(BENCH_BIND)
#undef BENCH_BIND
  return exports;
}

#if defined(__i386__)
// The stdcall companion's 26 exports, bound by name through korvan.h's
// pointer types.
struct Companion {
#define BENCH_STD(kind, name, parameters, arguments) PFN_##name name = nullptr;
  KORVAN_OPERATIONS(BENCH_STD)
#undef BENCH_STD
};
#endif

// The client library's entry points that the driver calls, bound directly.
struct Client {
#define BENCH_ENTRY(name) decltype(&qx::name) name = nullptr;
#define BENCH_SKIP(name)
  QX_ENTRY_POINTS(BENCH_ENTRY, BENCH_SKIP)
#undef BENCH_ENTRY
};

Client BindClient(HMODULE module) {
  Client c;
#define BENCH_BIND(name) Bind(module, #name, c.name);
  QX_ENTRY_POINTS(BENCH_BIND, BENCH_SKIP)
#undef BENCH_BIND
  return c;
}

// Pumps 1..4 (ids 101..104), two hoses each, ids 11..18 in ordinal order.
void AddStation(const SimControl& sim) {
  for (int p = 1; p <= 4; ++p) {
    SimPump pump{};
    pump.id = 100 + p;
    pump.number = p;
    pump.state = SIM_PUMP_IDLE;
    sim.SimAddPump(&pump);
    for (int h = 0; h < 2; ++h) {
      SimHose hose{};
      hose.id = 11 + 2 * (p - 1) + h;
      hose.pumpId = pump.id;
      hose.price = 5.799;
      hose.totalizer = 123456.789;
      sim.SimAddHose(&hose);
    }
  }
}

long long Option(int argc, char** argv, const char* name, long long fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == name) return std::atoll(argv[i + 1]);
  return fallback;
}

long long Ticks() {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart;
}

double NsPerTick() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1e9 / static_cast<double>(frequency.QuadPart);
}

// Nanoseconds per operation of a batch of `count` operations, timed whole.
template <class Batch>
double Time(long long count, Batch batch) {
  const long long start = Ticks();
  batch();
  return static_cast<double>(Ticks() - start) * NsPerTick() / static_cast<double>(count);
}

// The fastest round instead of the median (--best): on a busy machine the
// rounds that the scheduler interrupted are the slow ones.
bool best = false;

const char* only = "";

bool Wanted(const std::string& what) { return what.find(only) != std::string::npos; }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  if (best) return values[0];
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Figures {
  double driver, bare, added;
};

// Rounds of one driver batch and one bare batch, in alternating order, each
// after `prepare` (untimed). The first round warms up and is not counted.
// What the driver adds is taken round by round, so that what slows a whole
// round (another process, the clock speed) cancels out.
template <class Prepare, class DriverBatch, class BareBatch>
Figures Measure(int rounds, Prepare prepare, DriverBatch driver, BareBatch bare) {
  std::vector<double> d, b, added;
  for (int round = 0; round <= rounds; ++round) {
    double x, y;
    if (round % 2 == 0) {
      prepare();
      x = driver();
      prepare();
      y = bare();
    } else {
      prepare();
      y = bare();
      prepare();
      x = driver();
    }
    if (round == 0) continue;
    d.push_back(x);
    b.push_back(y);
    added.push_back(x - y);
  }
  const Figures f{Median(d), Median(b), Median(added)};
  return best ? Figures{f.driver, f.bare, f.driver - f.bare} : f;
}

void PrintHeader() {
  std::printf("%-40s %10s %10s %10s %7s\n", "operation (ns each)", "driver", "bare", "added",
              "ratio");
}

void Print(const char* what, Figures f) {
  std::printf("%-40s %10.0f %10.0f %10.0f %7.2f\n", what, f.driver, f.bare, f.added,
              f.driver / f.bare);
}

// The bare counterparts of the driver's operations: the client calls it
// makes, in its order, with nothing around them.

void BareStatus(const Client& c) {
  int32_t count = 0, type = 0, i32[12];
  int16_t i16[20];
  double f64[8];
  c.TestConnection();
  c.ProcessEvents();
  c.GetEventsCount(&count);
  for (int32_t e = 0; e < count; ++e) {
    c.GetNextEventType(&type);
    BSTR w[5] = {};
    c.GetNextPumpEventEx2(&i32[0], &i16[0], &i16[1], &i16[2], &i32[1], &i32[2], &i16[3], &i16[4],
                          &i32[3], &i32[4], &w[0], &w[1], &i16[5], &f64[0], &f64[1], &f64[2],
                          &i16[6], &w[2], &i32[5], &i16[7], &i16[8], &i16[9], &i16[10], &i16[11],
                          &i32[6], &i16[12], &i16[13], &i16[14], &i16[15], &i16[16], &i16[17],
                          &i16[18], &f64[3], &i32[7], &i32[8], &w[3], &f64[4], &i32[9], &i32[10],
                          &w[4], &f64[5]);
    for (BSTR text : w) SysFreeString(text);
  }
}

int32_t BareHose(const Client& c, int32_t hoseId) {
  int32_t number, pumpId, tankId, gradeId;
  double a, b, d, totalizer, price, price2;
  int16_t level, flags;
  c.GetHosePropertiesEx2(hoseId, &number, &pumpId, &tankId, &gradeId, &a, &b, &d, &totalizer,
                         &level, &price, &price2, &flags);
  return pumpId;
}

void BareLockUnlock(const Client& c) {
  int32_t hoseId = 0;
  c.TestConnection();
  c.GetHoseByOrdinal(1, &hoseId);
  c.TempStop(BareHose(c, hoseId));
  c.TestConnection();
  c.GetHoseByOrdinal(1, &hoseId);
  c.ReAuthorise(BareHose(c, hoseId));
}

void BareDelivery(const Client& c) {
  int32_t count, id, hoseId, lockedBy, reservedBy, attendantId, age, duration;
  int16_t state, type, priceLevel;
  double volume, unitPrice, value, volume2, completed, cleared, t[6];
  int64_t code;
  c.TestConnection();
  c.GetDeliveriesCount(&count);
  c.GetDeliveryByOrdinal(1, &id);
  c.GetDeliveryPropertiesEx2(id, &hoseId, &state, &type, &volume, &priceLevel, &unitPrice, &value,
                             &volume2, &completed, &lockedBy, &reservedBy, &attendantId, &age,
                             &cleared, &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &code, &duration);
  c.LockDelivery(id);
  c.ClearDelivery(id, type);
}

// Takes every waiting event, so that pump commands do not pile them up.
void DrainEvents(const Client& c) {
  int32_t count = 0;
  c.ProcessEvents();
  c.GetEventsCount(&count);
  for (int32_t e = 0; e < count; ++e) c.DiscardNextEvent();
}

// The hour's log file the driver writes, found after it wrote a line.
std::string LogFile() {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("LOG\\*.log", &found);
  if (search == INVALID_HANDLE_VALUE) Fail("the driver wrote no log file");
  FindClose(search);
  return std::string("LOG\\") + found.cFileName;
}

void AppendLine(const std::string& path, const std::string& line) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = static_cast<int>(Option(argc, argv, "--rounds", 15));
  const long long calls = Option(argc, argv, "--calls", 20000);
  for (int i = 1; i < argc; ++i) {
    best = best || std::string(argv[i]) == "--best";
    if (std::string(argv[i]) == "--only" && i + 1 < argc) only = argv[i + 1];
  }

  HMODULE simulator = LoadLibraryA("QXClient.dll");
  SimControl sim;
  if (!LoadSimControl(simulator, sim)) Fail("QXClient.dll beside the program is not the simulator");
  sim.SimReset();
  AddStation(sim);
  const Client client = BindClient(simulator);
  const Driver driver = Load<Driver>("_Korvan.dll");

  CreateDirectoryA("benchmark-run", nullptr);
  SetCurrentDirectoryA("benchmark-run");
  if (!driver.AUT_IniciaComunicacao("127.0.0.1", "", "")) Fail("no session");
  for (int nozzle = 11; nozzle <= 18; ++nozzle) {
    const std::string n = std::to_string(nozzle);
    driver.AUT_RegistraBico KORVAN_DRIVER_PARAMETERS(n.c_str(), "1", "", "3", "3", "2", "3", "");
  }
  sim.SimSetRecording(0);

#if defined(__i386__)
  std::printf(
      "32-bit build (where the kernel runs no 32-bit code: under qemu emulation, read as "
      "relative)\n");
#else
  std::printf("64-bit build\n");
#endif
  std::printf("logging off, call record off; %s of %d rounds after one warm-up round\n\n",
              best ? "fastest" : "median", rounds);
  PrintHeader();

  auto none = [] {};
  char text[64];
  auto batch = [&](auto operation) {
    return [=] {
      return Time(calls, [&] {
        for (long long i = 0; i < calls; ++i) operation();
      });
    };
  };

  // The log line's cost below is taken from this figure.
  Figures status{};
  if (Wanted("AUT_ObtemStatus, no event") || Wanted("log line")) {
    status = Measure(rounds, none, batch([&] { driver.AUT_ObtemStatus(text); }),
                     batch([&] { BareStatus(client); }));
    Print("AUT_ObtemStatus, no event", status);
  }
  if (Wanted("AUT_ObtemPreco"))
    Print("AUT_ObtemPreco", Measure(rounds, none, batch([&] { driver.AUT_ObtemPreco("11", text); }),
                                    batch([&] { BareHose(client, 11); })));
  if (Wanted("AUT_ObtemEncerrante"))
    Print("AUT_ObtemEncerrante",
          Measure(rounds, none, batch([&] { driver.AUT_ObtemEncerrante("11", text); }),
                  batch([&] { BareHose(client, 11); })));
  if (Wanted("AUT_BloqueiaBico + AUT_DesbloqueiaBico"))
    Print("AUT_BloqueiaBico + AUT_DesbloqueiaBico",
          Measure(
              rounds, [&] { DrainEvents(client); }, batch([&] {
                driver.AUT_BloqueiaBico("1");
                driver.AUT_DesbloqueiaBico("1");
              }),
              batch([&] { BareLockUnlock(client); })));

  // Deliveries: a batch hands over and confirms those added before it.
  const int deliveries = 50;
  auto fill = [&] {
    sim.SimForgetCleared();
    for (int i = 0; i < deliveries; ++i) {
      SimDelivery d = SimDeliveryDefaults(11 + i % 8, 12.5 + i % 7);
      sim.SimAddDelivery(&d);
    }
  };
  char out[10][32];
  double data = 0;
  if (Wanted("delivery handed over and confirmed"))
    Print("delivery handed over and confirmed",
          Measure(
              rounds * 4 + 1, fill,
              [&] {
                return Time(deliveries, [&] {
                  for (int i = 0; i < deliveries; ++i) {
                    driver.AUT_ObtemAbastecimento KORVAN_DRIVER_PARAMETERS(
                        out[0], out[1], out[2], out[3], out[4], out[5], out[6], out[7], out[8],
                        out[9], &data);
                    driver.AUT_ConfirmaAbastecimento();
                  }
                });
              },
              [&] {
                return Time(deliveries, [&] {
                  for (int i = 0; i < deliveries; ++i) BareDelivery(client);
                });
              }));

#if defined(__i386__)
  // The companion: each of its calls looks up nothing (the entry point is
  // kept after the first call) and adds one stdcall frame and a register
  // call. "bare" is here the driver called directly.
  if (Wanted("_KorvanStd.dll")) {
    const Companion companion = Load<Companion>("_KorvanStd.dll");
    std::printf("\n%-40s %10s %10s %10s %7s\n", "through _KorvanStd.dll (ns each)", "companion",
                "_Korvan", "added", "ratio");
    Print("AUT_ObtemStatus, no event",
          Measure(rounds, none, batch([&] { companion.AUT_ObtemStatus(text); }),
                  batch([&] { driver.AUT_ObtemStatus(text); })));
    Print("AUT_ObtemPreco",
          Measure(rounds, none, batch([&] { companion.AUT_ObtemPreco("11", text); }),
                  batch([&] { driver.AUT_ObtemPreco("11", text); })));
    Print("AUT_ObtemEncerrante",
          Measure(rounds, none, batch([&] { companion.AUT_ObtemEncerrante("11", text); }),
                  batch([&] { driver.AUT_ObtemEncerrante("11", text); })));
    Print("AUT_BloqueiaBico + AUT_DesbloqueiaBico",
          Measure(
              rounds, [&] { DrainEvents(client); }, batch([&] {
                companion.AUT_BloqueiaBico("1");
                companion.AUT_DesbloqueiaBico("1");
              }),
              batch([&] {
                driver.AUT_BloqueiaBico("1");
                driver.AUT_DesbloqueiaBico("1");
              })));
    Print("delivery handed over and confirmed",
          Measure(
              rounds * 4 + 1, fill,
              [&] {
                return Time(deliveries, [&] {
                  for (int i = 0; i < deliveries; ++i) {
                    companion.AUT_ObtemAbastecimento(out[0], out[1], out[2], out[3], out[4], out[5],
                                                     out[6], out[7], out[8], out[9], &data);
                    companion.AUT_ConfirmaAbastecimento();
                  }
                });
              },
              [&] {
                return Time(deliveries, [&] {
                  for (int i = 0; i < deliveries; ++i) {
                    driver.AUT_ObtemAbastecimento KORVAN_DRIVER_PARAMETERS(
                        out[0], out[1], out[2], out[3], out[4], out[5], out[6], out[7], out[8],
                        out[9], &data);
                    driver.AUT_ConfirmaAbastecimento();
                  }
                });
              }));
    std::printf("\n");
  }
#endif

  // A status call that finds a storm of events waiting.
  for (int events : {10, 100, 1000, 10000}) {
    const std::string what = "AUT_ObtemStatus, " + std::to_string(events) + " events";
    if (!Wanted(what)) continue;
    auto queue = [&] {
      for (int e = 0; e < events; ++e) sim.SimQueuePumpEvent(1 + e % 4, SIM_PUMP_IDLE + e % 5);
    };
    const size_t before = CommittedPrivateBytes();
    const Figures f = Measure(
        rounds, queue, [&] { return Time(1, [&] { driver.AUT_ObtemStatus(text); }); },
        [&] { return Time(1, [&] { BareStatus(client); }); });
    Print(what.c_str(), f);
    std::printf("%-40s committed private bytes %zu KiB before, %zu KiB after\n", "", before / 1024,
                CommittedPrivateBytes() / 1024);
  }

  // The log: one line written by the driver, against one open, append and
  // close of the same file. AUT_ObtemStatus writes two lines.
  if (Wanted("log line")) {
    const long long logged = std::max<long long>(calls / 100, 20);
    std::vector<double> line, append;
    driver.DRV_IniciaGravacaoLog();
    const std::string path = LogFile();
    const std::string sample = "DRV - < 00:00:00 >>AUT_ObtemStatus< OK.\r\n";
    for (int round = 0; round <= rounds; ++round) {
      const double withLog = Time(logged, [&] {
        for (long long i = 0; i < logged; ++i) driver.AUT_ObtemStatus(text);
      });
      const double plain = Time(logged, [&] {
        for (long long i = 0; i < logged; ++i) AppendLine(path, sample);
      });
      if (round == 0) continue;
      line.push_back((withLog - status.driver) / 2);
      append.push_back(plain);
    }
    driver.DRV_ParaGravacaoLog();
    std::printf("\nlog line: %.0f ns each; open, append and close of the same file: %.0f ns\n",
                Median(line), Median(append));
  }

  driver.AUT_FinalizaComunicacao();
  sim.SimSetRecording(1);
  return 0;
}
