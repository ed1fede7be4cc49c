// Soak: poll, confirm and status, cycle after cycle, as a host's day at a
// busy station, with the process's committed private bytes and handles
// measured before and after. Exits 1 when either grows beyond noise.
//
//   soak [--cycles 1000000] [--logged-cycles 10000]
#include <cstdio>

#include "host_api/KorvanDriver.h"
#include "tests/common/station.h"

namespace {

const int kPumps = 4;

// One host cycle: a delivery may finish, a pump changes, the host polls, confirms and reads status.
bool Cycle(KorvanDriver& driver, const SimControl& sim, long long i, long long& handedOver) {
  if (i % 3 == 0) {
    SimDelivery d =
        SimDeliveryDefaults(11 + static_cast<int>(i % (2 * kPumps)), 1 + (i % 50) / 3.0);
    sim.SimAddDelivery(&d);
  }
  sim.SimQueuePumpEvent(1 + static_cast<int>(i % kPumps), 4 + static_cast<int>(i % 9));
  KorvanDriver::Delivery delivery;
  const bool handed = driver.ObtemAbastecimento(delivery);
  if (handed && !Check(i, driver.ConfirmaAbastecimento(), "confirmation refused")) return false;
  handedOver += handed;
  char status[kPumps + 1];
  if (!Check(i, driver.ObtemStatus(status), "no status")) return false;
  // The simulator's own history is not the driver's: keep it bounded.
  if (i % 1000 == 999) {
    sim.SimClearCalls();
    sim.SimForgetCleared();
  }
  return true;
}

// `cycles` measured after a warm-up; false on growth beyond noise.
bool Run(KorvanDriver& driver, const SimControl& sim, const char* name, long long cycles) {
  long long handedOver = 0;
  for (long long i = 0; i < 2000; ++i)
    if (!Cycle(driver, sim, i, handedOver)) return false;
  handedOver = 0;
  const Footprint before = MeasureFootprint();
  for (long long i = 0; i < cycles; ++i)
    if (!Cycle(driver, sim, i, handedOver)) return false;
  const Footprint after = MeasureFootprint();
  std::printf(
      "soak %-11s %8lld cycles, %7lld deliveries handed over and confirmed, committed "
      "private bytes %zu -> %zu (%+lld), handles %lu -> %lu\n",
      name, cycles, handedOver, before.committedPrivateBytes, after.committedPrivateBytes,
      static_cast<long long>(after.committedPrivateBytes) -
          static_cast<long long>(before.committedPrivateBytes),
      before.handles, after.handles);
  // Noise: allocator pages and the odd handle of the runtime.
  return before.committedPrivateBytes > 0 &&
         after.committedPrivateBytes <= before.committedPrivateBytes + 2 * 1024 * 1024 &&
         after.handles <= before.handles + 4;
}

}  // namespace

int main(int argc, char** argv) {
  ExitOnFault();
  KorvanDriver driver;
  SimControl sim = LoadSimulator();
  AddPumps(sim, kPumps);
  EnterFreshFolder("soak");
  if (!driver.IniciaComunicacao("127.0.0.1", "SOAK", "")) return 2;
  for (int nozzle = 11; nozzle < 11 + 2 * kPumps; ++nozzle)
    driver.RegistraBico(std::to_string(nozzle).c_str(), "1", "", "3", "3", "2", "3", "");

  bool ok = Run(driver, sim, "logging off", Option(argc, argv, "--cycles", 1000000));
  driver.IniciaGravacaoLog();
  ok = Run(driver, sim, "logging on", Option(argc, argv, "--logged-cycles", 10000)) && ok;
  driver.ParaGravacaoLog();
  driver.FinalizaComunicacao();
  if (!driver.abiClean()) std::printf("a call unbalanced the stack or the registers\n");
  ok = ok && driver.abiClean();
  std::printf("soak: %s\n", ok ? "no growth" : "GROWTH OR FAILURE");
  return ok ? 0 : 1;
}
