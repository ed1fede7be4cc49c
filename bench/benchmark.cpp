// Benchmark: the time of each polling operation through the driver against
// the same client calls made directly on the simulator, with logging off,
// and the log writer's lines per second. Prints figures; asserts nothing
// about speed.
//
//   benchmark [--calls 20000]
#include <cstdio>
#include <functional>
#include <string>

#include "host/KorvanDriver.h"
#include "tests/common/station.h"

#include <oleauto.h>

namespace {

#define BENCH_SKIP(name)

// The client calls the driver makes, bound directly.
struct Client {
#define BENCH_ENTRY(name) decltype(&qx::name) name = nullptr;
  QX_ENTRY_POINTS(BENCH_ENTRY, BENCH_SKIP)
#undef BENCH_ENTRY
};

Client BindClient() {
  Client c;
  HMODULE module = GetModuleHandleA("QXClient.dll");
#define BENCH_BIND(name)                                     \
  c.name = reinterpret_cast<decltype(c.name)>(               \
      reinterpret_cast<void*>(GetProcAddress(module, #name)));
  QX_ENTRY_POINTS(BENCH_BIND, BENCH_SKIP)
#undef BENCH_BIND
  return c;
}

double Seconds() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency.QuadPart;
}

// Microseconds per call of `timed`; `untimed` prepares each call.
double PerCall(long long calls, const std::function<void()>& timed,
               const std::function<void()>& untimed = nullptr) {
  double total = 0;
  for (long long i = 0; i < calls; ++i) {
    if (untimed) untimed();
    double start = Seconds();
    timed();
    total += Seconds() - start;
  }
  return total * 1e6 / calls;
}

void Report(const char* what, double driver, double direct) {
  std::printf("%-34s driver %9.2f us  client %9.2f us  ratio %5.3f\n", what, driver,
              direct, driver / direct);
}

void DirectDelivery(const Client& c) {
  int32_t count, id, hoseId, lockedBy, reservedBy, attendantId, age, duration;
  int16_t state, type, priceLevel;
  double volume, unitPrice, value, volume2, completed, cleared, t[6];
  int64_t code;
  c.TestConnection();
  c.GetDeliveriesCount(&count);
  c.GetDeliveryByOrdinal(1, &id);
  c.GetDeliveryPropertiesEx2(id, &hoseId, &state, &type, &volume, &priceLevel,
                             &unitPrice, &value, &volume2, &completed, &lockedBy,
                             &reservedBy, &attendantId, &age, &cleared, &t[0],
                             &t[1], &t[2], &t[3], &t[4], &t[5], &code, &duration);
}

void DirectStatus(const Client& c) {
  int32_t count = 0, type = 0, i32[12];
  int16_t i16[20];
  double f64[8];
  c.TestConnection();
  c.ProcessEvents();
  c.GetEventsCount(&count);
  for (int32_t e = 0; e < count; ++e) {
    c.GetNextEventType(&type);
    BSTR w[5] = {};
    c.GetNextPumpEventEx2(&i32[0], &i16[0], &i16[1], &i16[2], &i32[1], &i32[2],
                          &i16[3], &i16[4], &i32[3], &i32[4], &w[0], &w[1], &i16[5],
                          &f64[0], &f64[1], &f64[2], &i16[6], &w[2], &i32[5],
                          &i16[7], &i16[8], &i16[9], &i16[10], &i16[11], &i32[6],
                          &i16[12], &i16[13], &i16[14], &i16[15], &i16[16],
                          &i16[17], &i16[18], &f64[3], &i32[7], &i32[8], &w[3],
                          &f64[4], &i32[9], &i32[10], &w[4], &f64[5]);
    for (BSTR text : w) SysFreeString(text);
  }
}

void DirectPrice(const Client& c) {
  int32_t number, pumpId, tankId, gradeId;
  double a, b, d, totalizer, price, price2;
  int16_t level, flags;
  c.GetHosePropertiesEx2(11, &number, &pumpId, &tankId, &gradeId, &a, &b, &d,
                         &totalizer, &level, &price, &price2, &flags);
}

}  // namespace

int main(int argc, char** argv) {
  const long long calls = Option(argc, argv, "--calls", 20000);
  KorvanDriver driver;
  SimControl sim = LoadSimulator();
  AddPumps(sim, 4);
  CreateDirectoryA("benchmark-run", nullptr);
  SetCurrentDirectoryA("benchmark-run");
  if (!driver.IniciaComunicacao("127.0.0.1", "BENCH", "")) return 2;
  for (int nozzle = 11; nozzle <= 18; ++nozzle)
    driver.RegistraBico(std::to_string(nozzle).c_str(), "1", "", "3", "3", "2", "3", "");
  Client client = BindClient();
  // The simulator's record of calls would grow without bound.
  auto trim = [&] { sim.SimClearCalls(); sim.SimForgetCleared(); };

#if defined(__i386__)
  std::printf("32-bit build, %lld calls each, logging off\n", calls);
#else
  std::printf("64-bit build, %lld calls each, logging off\n", calls);
#endif
  SimDelivery waiting = SimDeliveryDefaults(11, 12.5);
  sim.SimAddDelivery(&waiting);
  KorvanDriver::Delivery d;
  long long i = 0;
  Report("AUT_ObtemAbastecimento",
         PerCall(calls, [&] { driver.ObtemAbastecimento(d); },
                 [&] { if (++i % 1000 == 0) trim(); }),
         PerCall(calls, [&] { DirectDelivery(client); },
                 [&] { if (++i % 1000 == 0) trim(); }));

  int32_t next = 0;
  Report("AUT_ConfirmaAbastecimento",
         PerCall(calls, [&] { driver.ConfirmaAbastecimento(); },
                 [&] {
                   SimDelivery fresh = SimDeliveryDefaults(13, 20);
                   sim.SimAddDelivery(&fresh);
                   driver.ObtemAbastecimento(d);
                   if (++i % 1000 == 0) trim();
                 }),
         PerCall(calls,
                 [&] {
                   client.LockDelivery(next);
                   client.ClearDelivery(next, 1);
                 },
                 [&] {
                   SimDelivery fresh = SimDeliveryDefaults(13, 20);
                   next = sim.SimAddDelivery(&fresh);
                   if (++i % 1000 == 0) trim();
                 }));

  char status[8];
  Report("AUT_ObtemStatus, no event",
         PerCall(calls, [&] { driver.ObtemStatus(status); },
                 [&] { if (++i % 1000 == 0) trim(); }),
         PerCall(calls, [&] { DirectStatus(client); },
                 [&] { if (++i % 1000 == 0) trim(); }));

  auto storm = [&] {
    trim();
    for (int e = 0; e < 1000; ++e) sim.SimQueuePumpEvent(1 + e % 4, 4 + e % 5);
  };
  const long long storms = calls / 200 + 1;
  Report("AUT_ObtemStatus, 1,000 events",
         PerCall(storms, [&] { driver.ObtemStatus(status); }, storm),
         PerCall(storms, [&] { DirectStatus(client); }, storm));

  char price[32];
  Report("AUT_ObtemPreco",
         PerCall(calls, [&] { driver.ObtemPreco("11", price); },
                 [&] { if (++i % 1000 == 0) trim(); }),
         PerCall(calls, [&] { DirectPrice(client); },
                 [&] { if (++i % 1000 == 0) trim(); }));

  // Each AUT_ObtemPreco writes two lines with logging on.
  driver.IniciaGravacaoLog();
  const long long logged = calls / 10 + 1;
  double perCall = PerCall(logged, [&] { driver.ObtemPreco("11", price); },
                           [&] { if (++i % 1000 == 0) trim(); });
  driver.ParaGravacaoLog();
  std::printf("log writer: %.0f lines per second (%lld lines)\n", 2e6 / perCall,
              2 * logged);
  driver.FinalizaComunicacao();
  return driver.abiClean() ? 0 : 1;
}
