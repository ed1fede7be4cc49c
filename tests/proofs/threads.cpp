// Four host threads poll, confirm and read status and prices at once while deliveries and pump
// events keep coming and the link drops now and then. No fault may reach the host, and no delivery
// may be handed over again once its confirmation returned 1 or the controller cleared it, and no
// client call may begin while another is in flight. Then one thread drains the queue and the ledger
// checks every delivery.
//
//   threads [--seconds 30]
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>

#include "tests/proofs/ledger.h"
#include "tests/common/station.h"

const int kPumps = 8, kThreads = 4;

int main(int argc, char** argv) {
  ExitOnFault();
  const long long seconds = Option(argc, argv, "--seconds", 30);
  const SimControl sim = LoadSimulator();
  EnterFreshFolder("threads");
  std::vector<std::string> nozzles;
  for (int p = 1; p <= kPumps; ++p) {
    AddPump(sim, p);
    AddHose(sim, 10 + p, p, 4 + p / 10.0);
    nozzles.push_back(std::to_string(10 + p));
  }
  Ledger ledger(sim);
  Host host(sim, ledger, nozzles, "");
  host.Start();

  std::atomic<bool> stop{false};
  std::atomic<long> handed{0};
  std::vector<std::thread> workers;
  // Each polls and confirms what it was handed, and reads status and a price.
  for (int t = 0; t < kThreads; ++t)
    workers.emplace_back([&, t] {
      char status[kPumps + 1], price[64];
      const std::string hose = std::to_string(11 + t);
      int64_t code;
      bool confirmed;
      while (!stop) {
        handed += ledger.Poll(host.driver(), code, confirmed);
        host.driver().ObtemStatus(status);
        host.driver().ObtemPreco(hose.c_str(), price);
      }
    });
  const DWORD end = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  for (int tick = 0; static_cast<LONG>(end - GetTickCount()) > 0; ++tick) {
    if (sim.SimDeliveryCount() < 40) {
      SimDelivery d = SimDeliveryDefaults(11 + tick % kPumps, 1 + tick % 70);
      ledger.Add(d, Fate::HandOver);
    }
    sim.SimQueuePumpEvent(1 + tick % kPumps, 4 + tick % 9);
    if (tick % 500 == 250) sim.SimSetConnected(0);
    if (tick % 500 == 260) sim.SimSetConnected(1);
    Sleep(1);
  }
  stop = true;
  for (auto& worker : workers) worker.join();
  sim.SimSetConnected(1);
  host.Drain(200);
  ledger.CheckEnd();
  for (const auto& v : ledger.violations()) std::printf("  %s\n", v.c_str());
  const int32_t overlapping = sim.SimOverlappingCalls();
  if (overlapping > 0)
    std::printf("  %d client calls began while another was in flight (wanted 0)\n", overlapping);
  const bool ok = ledger.ok() && overlapping == 0;
  std::printf("threads: %d threads for %lld s, %ld hand-overs; %s; %s\n", kThreads, seconds,
              handed.load(), ledger.Summary().c_str(),
              ok ? "no fault, every delivery accounted for" : "VIOLATIONS");
  return ok ? 0 : 1;
}
