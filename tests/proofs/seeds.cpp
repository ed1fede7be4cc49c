// Seeded station days: each seed makes a random station (pumps, hoses and their identifiers,
// prices, which nozzles the host registers, volume re-engineering), deliveries arriving over the
// day, pump events, faults at any call, outages of one entry point, link drops, and host restarts
// that unload the driver while the controller keeps its state. Then the faults end, the host drains
// the queue and the ledger checks every delivery. The seed alone decides the run: a failing seed
// prints the command that replays it and the hash of its call record.
//
//   seeds [--seeds 10000] [--first 1] [--chunk 100]
//   seeds --seed N --replay [--print-calls 1]
#include <cstdio>
#include <string>

#include "host_api/host_environment.h"
#include "tests/proofs/ledger.h"
#include "tests/common/station.h"

namespace {

// splitmix64: the whole run follows from the seed.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
  bool Chance(double p) { return (Next() >> 11) * (1.0 / 9007199254740992.0) < p; }

 private:
  uint64_t state_;
};

// An entry point of the driver's, or "*" for any.
const char* AnyEntryPoint(Random& random) {
  const int k = random.Below(23);
  return k == 0 ? "*" : kDriverEntryPoints[k - 1];
}

struct Station {
  int pumps = 0;
  std::vector<int> hoses;  // identifiers, in ordinal order
  std::vector<bool> registered;
  std::vector<std::string> nozzles;
};

Station BuildStation(const SimControl& sim, Random& random) {
  Station s;
  s.pumps = 1 + random.Below(8);
  for (int p = 1; p <= s.pumps; ++p) {
    AddPump(sim, p);
    for (int h = random.Below(3); h >= 0; --h) {
      const int id = 1 + static_cast<int>(s.hoses.size()) + random.Below(4) * 100;
      AddHose(sim, id, p, 1 + random.Below(9000) / 1000.0);
      s.hoses.push_back(id);
      s.registered.push_back(random.Chance(0.85));
      if (s.registered.back()) s.nozzles.push_back(std::to_string(id));
    }
  }
  return s;
}

// A delivery of the day. Another terminal may hold it for a while; at the end of the day (`last`)
// one may come that stays held, or in state 3, so that it holds back nothing but itself.
void AddDelivery(Ledger& ledger, const Station& s, Random& random, std::vector<int32_t>& held,
                 bool last = false) {
  const int h = random.Below(static_cast<int>(s.hoses.size()));
  Fate fate = s.registered[h] ? Fate::HandOver : Fate::Unregistered;
  SimDelivery d = SimDeliveryDefaults(s.hoses[h], 0.5 + random.Below(80000) / 1000.0);
  d.flags = SIM_DELIVERY_AUTO_PRICE | SIM_DELIVERY_AUTO_AMOUNT | SIM_DELIVERY_AUTO_TOTALS;
  d.completedDate = 46361 + random.Below(86400) / 86400.0;
  d.type = 1 + random.Below(5);
  d.state = random.Chance(0.1) ? SIM_DELIVERY_CURRENT : SIM_DELIVERY_COMPLETED;
  if (random.Chance(0.05)) d.volume = 0.0004, fate = Fate::TooSmall;
  if (random.Chance(last ? 0.3 : 0.04)) d.lockedBy = kOtherClient;
  if (last && random.Chance(0.3)) d.state = SIM_DELIVERY_OFFLINE;
  const int32_t id = ledger.Add(d, fate);
  if (d.lockedBy == kOtherClient) held.push_back(id);
}

void Disturb(const SimControl& sim, Random& random) {
  if (random.Chance(0.15))
    sim.SimFailCall(AnyEntryPoint(random), 1 + random.Below(20),
                    random.Chance(0.5) ? 1 : 2 + random.Below(98));
  if (random.Chance(0.04))  // one entry point out for a while
    sim.SimFailCalls(AnyEntryPoint(random), 1 + random.Below(10), 1 + random.Below(60),
                     random.Chance(0.5) ? 1 : 12);
  if (random.Chance(0.03)) sim.SimSetConnected(0);
  if (random.Chance(0.1)) sim.SimSetConnected(1);
  if (random.Chance(0.3)) sim.SimQueuePumpEvent(1 + random.Below(9), random.Below(17));
}

// The host's other business: status, prices, locks, authorisation.
void HostBusiness(KorvanDriver& driver, const Station& s, Random& random) {
  char text[64];
  const std::string hose = std::to_string(s.hoses[random.Below(static_cast<int>(s.hoses.size()))]);
  const std::string ordinal =
      std::to_string(1 + random.Below(static_cast<int>(s.hoses.size()) + 1));
  if (random.Chance(0.5)) driver.ObtemStatus(text);
  if (random.Chance(0.1)) {
    const std::string price = std::to_string(1 + random.Below(9)) + DecimalSeparator() + "299";
    driver.AlteraPreco(ordinal.c_str(), price.c_str());
    driver.ObtemPreco(hose.c_str(), text);
  }
  if (random.Chance(0.05)) {
    driver.BloqueiaBico(ordinal.c_str());
    driver.DesbloqueiaBico(ordinal.c_str());
  }
  if (random.Chance(0.05)) driver.AutorizaAbastecimento(hose.c_str());
  if (random.Chance(0.05)) driver.ObtemEncerrante(hose.c_str(), text);
  if (random.Chance(0.02)) {
    driver.BloqueiaTodosBicos();
    driver.DesbloqueiaTodosBicos();
  }
}

// The seed's day; the hash of its call record, printed to `echo`.
uint64_t RunSeed(const SimControl& sim, uint64_t seed, Ledger& ledger, std::FILE* echo = nullptr) {
  Random random(seed);
  sim.SimReset();
  const Station s = BuildStation(sim, random);
  Host host(sim, ledger, s.nozzles, random.Chance(0.3) ? "REL=S" : "");
  host.Start();
  std::vector<int32_t> held;
  int restarts = 0;
  for (int c = 30 + random.Below(90); c > 0; --c) {
    if (random.Chance(0.4)) AddDelivery(ledger, s, random, held);
    if (!held.empty() && random.Chance(0.2)) {
      sim.SimSetDeliveryLock(held.front(), -1);  // the other terminal lets go
      held.erase(held.begin());
    }
    Disturb(sim, random);
    if (restarts < 5 && random.Chance(0.04)) {
      ++restarts;
      host.Restart();
    }
    if (random.Chance(0.02)) {  // the host ends and starts communication
      host.driver().FinalizaComunicacao();
      host.driver().IniciaComunicacao("127.0.0.1", "PROOF", "");
    }
    host.Cycle();
    HostBusiness(host.driver(), s, random);
  }
  for (const int32_t id : held) sim.SimSetDeliveryLock(id, -1);
  held.clear();
  AddDelivery(ledger, s, random, held, true);
  sim.SimClearFaults();
  sim.SimSetConnected(1);
  host.Drain(3 * sim.SimDeliveryCount() + 10);
  ledger.CheckEnd();
  return HashCalls(sim, kHashStart, echo);
}

}  // namespace

int main(int argc, char** argv) {
  ExitOnFault();
  const SimControl sim = LoadSimulator();
  EnterFreshFolder("seeds");
  const long long one = Option(argc, argv, "--seed", 0);
  if (one > 0) {
    Ledger ledger(sim);
    const unsigned long long hash =
        RunSeed(sim, one, ledger, Option(argc, argv, "--print-calls", 0) != 0 ? stdout : nullptr);
    std::printf("seed %lld: calls hash %016llX; %s\n", one, hash, ledger.Summary().c_str());
    for (const auto& v : ledger.violations()) std::printf("  %s\n", v.c_str());
    return ledger.ok() ? 0 : 1;
  }
  const long long first = Option(argc, argv, "--first", 1);
  const auto run = [&](long long seed) {
    Ledger ledger(sim);
    const unsigned long long hash = RunSeed(sim, seed, ledger);
    if (ledger.ok()) return true;
    std::printf("seed %lld: %s\n", seed, ledger.violations().front().c_str());
    std::printf("  replay: seeds.exe --seed %lld --replay   (calls hash %016llX, %zu violations)\n",
                seed, hash, ledger.violations().size());
    return false;
  };
  // Each seed loads the driver up to six times.
  return RunProof(argc, argv, "seeds", "", first, first + Option(argc, argv, "--seeds", 10000), 100,
                  run);
}
