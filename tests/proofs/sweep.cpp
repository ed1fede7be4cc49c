// Fault sweep: one scripted station day (8 pumps, 17 hoses, 60 deliveries, price changes, locks,
// status polls), run once without faults to count its client calls, then once per call position k
// and mode: call k fails once, or every call from k fails for a span and then recovers; each with
// the code 1 (not connected) and with another error. After the day the faults end, the host drains
// the queue and the ledger checks every delivery.
//
//   sweep [--from 1] [--to <calls of the day>] [--step 1] [--span 200]
//         [--chunk 150]
#include <cstdio>
#include <string>

#include "host_api/host_environment.h"
#include "tests/proofs/ledger.h"
#include "tests/common/station.h"

namespace {

const int kPumps = 8, kDays = 120, kDeliveries = 60;
const int kUnregisteredHose = 99;

struct Mode {
  const char* name;
  int count;  // calls failing from k; 0 = the span
  int code;
};
const Mode kModes[] = {{"once/1", 1, 1}, {"once/12", 1, 12}, {"run/1", 0, 1}, {"run/12", 0, 12}};

int HoseId(int i) { return 20 + 7 * (i % (2 * kPumps)); }  // not its ordinal

void BuildStation(const SimControl& sim) {
  for (int p = 1; p <= kPumps; ++p) AddPump(sim, p);
  for (int i = 0; i < 2 * kPumps; ++i) AddHose(sim, HoseId(i), 1 + i / 2, 3.5 + i * 0.25);
  AddHose(sim, kUnregisteredHose, kPumps, 6.0);
}

std::vector<std::string> Nozzles() {
  std::vector<std::string> nozzles;
  for (int i = 0; i < 2 * kPumps; ++i) nozzles.push_back(std::to_string(HoseId(i)));
  return nozzles;
}

// Delivery i of the day: mostly plain, a few of an unregistered nozzle or too small, two held by
// another terminal for a while, one in state 3 and one held for good at the end.
int32_t AddDelivery(Ledger& ledger, int i) {
  Fate fate = Fate::HandOver;
  SimDelivery d = SimDeliveryDefaults(HoseId(i * 5), 5 + (i * 37 % 400) / 10.0);
  d.flags = SIM_DELIVERY_AUTO_PRICE | SIM_DELIVERY_AUTO_AMOUNT | SIM_DELIVERY_AUTO_TOTALS;
  d.completedDate = 46361.5 + i / 1440.0;
  if (i % 15 == 4) d.hoseId = kUnregisteredHose, fate = Fate::Unregistered;
  if (i % 20 == 9) d.volume = 0.0004, fate = Fate::TooSmall;
  if (i == 10 || i == 30 || i == kDeliveries - 1) d.lockedBy = kOtherClient;
  if (i == kDeliveries - 2) d.state = SIM_DELIVERY_OFFLINE;
  return ledger.Add(d, fate);
}

// The day with its faults; the client calls it made.
long long RunDay(const SimControl& sim, Ledger& ledger, int k, const Mode& mode, int span) {
  sim.SimReset();
  BuildStation(sim);
  if (k > 0) sim.SimFailCalls("*", k, mode.count ? mode.count : span, mode.code);
  Host host(sim, ledger, Nozzles(), "");
  host.Start();
  KorvanDriver& driver = host.driver();
  const std::string price = std::string("4") + DecimalSeparator() + "129";
  int32_t held[2] = {0, 0};
  char status[kPumps + 1], text[64];
  for (int c = 0; c < kDays; ++c) {
    if (c % 2 == 0) {
      const int i = c / 2;
      const int32_t id = AddDelivery(ledger, i);
      if (i == 10 || i == 30) held[i / 30] = id;
    }
    if (c == 30) sim.SimSetDeliveryLock(held[0], -1);
    if (c == 70) sim.SimSetDeliveryLock(held[1], -1);
    host.Cycle();
    sim.SimQueuePumpEvent(1 + c % kPumps, 4 + c % 9);
    driver.ObtemStatus(status);
    const std::string hose = std::to_string(HoseId(c)), ordinal = std::to_string(1 + c % 16);
    if (c % 10 == 3) {
      driver.AlteraPreco(ordinal.c_str(), price.c_str());
      driver.ObtemPreco(hose.c_str(), text);
    }
    if (c % 12 == 5) {
      driver.BloqueiaBico(ordinal.c_str());
      driver.DesbloqueiaBico(ordinal.c_str());
    }
    if (c % 30 == 7) {
      driver.BloqueiaTodosBicos();
      driver.DesbloqueiaTodosBicos();
    }
    if (c % 9 == 4) {
      driver.AutorizaAbastecimento(hose.c_str());
      driver.ObtemEncerrante(hose.c_str(), text);
    }
  }
  const long long calls = sim.SimCountCalls("*");
  sim.SimClearFaults();
  host.Drain(3 * kDeliveries);
  ledger.CheckEnd();
  return calls;
}

}  // namespace

int main(int argc, char** argv) {
  ExitOnFault();
  const SimControl sim = LoadSimulator();
  const int span = static_cast<int>(Option(argc, argv, "--span", 200));
  EnterFreshFolder("sweep");

  Ledger baseline(sim);
  const long long calls = RunDay(sim, baseline, 0, kModes[0], span);
  if (Option(argc, argv, "--from", 0) == 0) {
    std::printf("sweep: the day makes %lld client calls; %s\n", calls, baseline.Summary().c_str());
    for (const auto& v : baseline.violations()) std::printf("  without faults: %s\n", v.c_str());
    if (!baseline.ok()) return 1;
  }
  return RunProof(argc, argv, "sweep", "--span " + std::to_string(span), 1, calls + 1, 150,
                  [&](long long k) {
                    bool ok = true;
                    for (const Mode& mode : kModes) {
                      Ledger day(sim);
                      RunDay(sim, day, static_cast<int>(k), mode, span);
                      if (day.ok()) continue;
                      ok = false;
                      std::printf("  position %lld, %s: %s (%zu violations)\n", k, mode.name,
                                  day.violations().front().c_str(), day.violations().size());
                    }
                    return ok;
                  });
}
