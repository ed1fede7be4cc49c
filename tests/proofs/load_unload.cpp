// Load and unload: a host that loads the driver per shift or per operation loads, uses and frees it
// thousands of times in one process. Every cycle loads _Korvan.dll, runs a short session (with the
// failures a host's bad input brings) and frees it; TLS slots, handles, threads and committed
// private bytes are measured before and after. Exits 1 on any growth beyond noise.
//
//   load_unload [--cycles 10000]
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <vector>

#include "host_api/KorvanDriver.h"
#include "tests/common/station.h"

namespace {

// How many TLS slots the process can still allocate.
long FreeTlsSlots() {
  std::vector<DWORD> taken;
  for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
  for (DWORD slot : taken) TlsFree(slot);
  return static_cast<long>(taken.size());
}

long ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  long count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
    count += entry.th32OwnerProcessID == GetCurrentProcessId();
  CloseHandle(snapshot);
  return count;
}

struct Resources {
  long long tlsTaken, handles, threads, committedPrivateBytes;
};

// Slots free when the program started: those taken since are what grows.
const long kTlsAtStart = FreeTlsSlots();

Resources Measure() {
  Footprint footprint = MeasureFootprint();
  return {kTlsAtStart - FreeTlsSlots(), static_cast<long long>(footprint.handles), ThreadCount(),
          static_cast<long long>(footprint.committedPrivateBytes)};
}

// One load, session and unload. The failing calls run the driver's
// conversion, missing-binding and null-buffer paths.
bool Cycle(const SimControl& sim, long long i) {
  KorvanDriver driver;
  if (!driver.loaded()) {
    std::printf("cycle %lld: _Korvan.dll not loaded, error %lu\n", i, GetLastError());
    return false;
  }
  const bool logged = i % 50 == 0;
  if (logged) driver.IniciaGravacaoLog();
  driver.FinalizaComunicacao();  // no session yet
  bool ok = Check(i, driver.IniciaComunicacao("127.0.0.1", "CICLO", ""), "no session");
  driver.RegistraBico("11", "1", "", "3", "3", "2", "3", "");
  SimDelivery d = SimDeliveryDefaults(11, 2.5);
  sim.SimAddDelivery(&d);
  KorvanDriver::Delivery delivery;
  char text[64];
  ok = ok && Check(i, driver.ObtemAbastecimento(delivery), "no delivery") &&
       Check(i, driver.ConfirmaAbastecimento(), "not confirmed") &&
       Check(i, driver.ObtemStatus(text), "no status") &&
       Check(i, !driver.ObtemStatus(nullptr), "null buffer accepted") &&
       Check(i, driver.ObtemPreco("11", text), "no price") &&
       Check(i, !driver.ObtemPreco("onze", text), "nozzle 'onze' accepted") &&
       Check(i, !driver.AlteraPreco("1", "cinco"), "price 'cinco' accepted");
  driver.FinalizaComunicacao();
  if (logged) driver.ParaGravacaoLog();
  sim.SimClearCalls();
  sim.SimForgetCleared();
  ok = Check(i, driver.abiClean(), "stack or registers not kept") && ok;
  ok = Check(i, FreeLibrary(driver.module()) != 0, "FreeLibrary failed") && ok;
  return ok && Check(i, GetModuleHandleA("_Korvan.dll") == nullptr,
                     "_Korvan.dll still loaded after FreeLibrary");
}

// Growth beyond noise fails: a few handles and pages are the loader's and the allocator's. The
// memory is the Windows process's own (committed private regions), so the verdict is the same
// natively and under an emulator, whose own memory is not the process's.
struct Limit {
  const char* what;
  long long Resources::*value;
  long long noise;
};
const Limit kLimits[] = {
    {"TLS slots taken", &Resources::tlsTaken, 0},
    {"handles", &Resources::handles, 4},
    {"threads", &Resources::threads, 0},
    {"committed private bytes", &Resources::committedPrivateBytes, 2 * 1024 * 1024},
};

// Whether every resource stayed within its noise; with `print`, each one, got against wanted.
bool Within(const Resources& before, const Resources& after, bool print) {
  bool ok = true;
  for (const Limit& limit : kLimits) {
    const long long got = after.*limit.value, was = before.*limit.value;
    const bool within = got <= was + limit.noise;
    if (print)
      std::printf("  %-23s %12lld -> %12lld (%+lld, wanted at most %+lld)%s\n", limit.what, was,
                  got, got - was, limit.noise, within ? "" : "  GROWTH");
    ok = ok && within;
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  ExitOnFault();
  std::setvbuf(stdout, nullptr, _IONBF, 0);  // what was measured survives an abort
  const long long cycles = Option(argc, argv, "--cycles", 10000);
  SimControl sim = LoadSimulator();
  AddPumps(sim, 1);
  EnterFreshFolder("load-unload");

  // The first loads settle what the process keeps for good (the loader's, the simulator's).
  const long long warmUp = 20;
  for (long long i = 0; i < warmUp; ++i)
    if (!Cycle(sim, i)) return 1;
  const Resources before = Measure();
  Resources after = before;
  bool ok = true;
  long long done = 0;
  // Measured every 100 cycles: a leak stops the run with its figures long
  // before the process runs out of what leaks.
  while (ok && done < cycles) {
    for (long long i = 0; ok && i < 100 && done < cycles; ++i, ++done)
      ok = Cycle(sim, warmUp + done);
    after = Measure();
    ok = ok && Within(before, after, false);
    if (done % 1000 == 0 || !ok)
      std::printf(
          "%6lld cycles: TLS slots %lld, handles %lld, threads %lld, "
          "committed private bytes %lld\n",
          done, after.tlsTaken, after.handles, after.threads, after.committedPrivateBytes);
  }
  std::printf("load_unload: %lld of %lld cycles of load, session and unload\n", done, cycles);
  ok = Within(before, after, true) && ok;
  std::printf("load_unload: %s\n", ok ? "no growth" : "GROWTH OR FAILURE");
  return ok ? 0 : 1;
}
