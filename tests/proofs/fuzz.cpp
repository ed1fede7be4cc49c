// Boundary fuzzing: random calls of all 26 exports with null pointers, empty, huge and non-numeric
// texts, in any order (before a session, after its end), while the simulated controller fails
// random calls and drops its connection. No fault may reach the host, and at the end every delivery
// was handed over, discarded by one of the driver's rules, or is still in the controller.
//
//   fuzz [--calls 100000] [--seed 1]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host_api/KorvanDriver.h"
#include "tests/common/station.h"

namespace {

class Fuzz {
 public:
  explicit Fuzz(unsigned seed) : random_(seed), sim_(LoadSimulator()) {
    texts_ = {nullptr,      "",      "1",     "11",           "12",          "13",  "-5",
              "0",          "abc",   "3,459", "3.459",        " 42",         "42 ", "$1F",
              "2147483648", "REL=S", "rel=s", huge9_.c_str(), hugeX_.c_str()};
    AddPumps(sim_, 3);
  }

  bool Run(long long calls);

 private:
  bool Chance(double p) { return std::uniform_real_distribution<>(0, 1)(random_) < p; }
  int Pick(int n) { return static_cast<int>(random_() % n); }
  uintptr_t Text() { return Arg(texts_[Pick(static_cast<int>(texts_.size()))]); }
  // An output buffer, now and then a null pointer.
  uintptr_t Buffer(char* buffer) { return Chance(0.01) ? 0 : Arg(buffer); }

  void DisturbController();
  void CallRandomExport();
  bool DiscardedByRule(const SimDelivery& d) const;
  bool CheckDeliveries();

  std::mt19937 random_;
  SimControl sim_;
  KorvanDriver driver_;
  std::string huge9_ = std::string(64 * 1024, '9'), hugeX_ = std::string(64 * 1024, 'x');
  std::vector<const char*> texts_;
  std::set<std::string> registered_;        // nozzles in the driver's table
  int registrations_ = 0;                   // of which the table keeps 100
  std::map<long long, SimDelivery> added_;  // by code
  std::set<long long> handedOver_;          // codes
  std::set<long long> unregisteredWhenAdded_;
  long long nextCode_ = 0x100000000LL;
  char buffers_[12][256];
  double date_ = 0;
};

void Fuzz::DisturbController() {
  if (Chance(0.02)) sim_.SimSetConnected(0);
  if (Chance(0.02)) sim_.SimSetConnected(1);
  if (Chance(0.01)) sim_.SimFailCall(kDriverEntryPoints[Pick(22)], 1 + Pick(3), 1 + Pick(20));
  if (Chance(0.01)) {
    const double volumes[] = {0.0004, 0.001, 0.002, 1, 12.345, 99.999};
    const double prices[] = {0, 3, 4.299, 5.799};
    SimDelivery d = SimDeliveryDefaults(11 + Pick(7), volumes[Pick(6)]);
    d.flags = SIM_DELIVERY_AUTO_DATE;
    d.unitPrice = prices[Pick(4)];
    d.amount = Chance(0.2) ? 0 : d.volume * d.unitPrice;
    // State 3 is reserved and never cleared: at the head of the list it holds every later delivery
    // back until the controller removes it, so the stream leaves it to the delivery tests.
    d.state = Chance(0.1) ? 1 : 2;
    d.lockedBy = Chance(0.05) ? 42 : -1;
    d.code = nextCode_++;
    if (sim_.SimAddDelivery(&d) > 0) {
      added_[d.code] = d;
      // Registrations only add: a nozzle unknown now may be discarded later.
      if (!registered_.count(std::to_string(d.hoseId))) unregisteredWhenAdded_.insert(d.code);
    }
  }
  if (Chance(0.05)) sim_.SimQueuePumpEvent(Pick(7) - 2, Pick(24) - 3);
  // The controller releases what others held, now and then.
  SimDelivery head{};
  if (Chance(0.05) && sim_.SimGetDelivery(0, &head) == SIM_OK && head.lockedBy != -1)
    sim_.SimSetDeliveryLock(head.id, -1);
  if (Chance(0.001)) {
    sim_.SimClearCalls();
    sim_.SimClearFaults();
  }
}

void Fuzz::CallRandomExport() {
  const DriverExport& e = kDriverExports[Pick(26)];
  const std::string name = e.name, kinds = e.kinds;
  const size_t n = kinds.size();
  uintptr_t a[11];
  std::memset(buffers_[8], 0, sizeof buffers_[8]);  // where a delivery's code lands
  for (size_t i = 0, buffer = 0; i < n; ++i) {
    const char kind = kinds[i];
    a[i] = kind == 'T'   ? Text()
           : kind == 'B' ? Buffer(buffers_[buffer++])
           : kind == 'N' ? static_cast<uintptr_t>(random_())
                         : (Chance(0.01) ? 0 : Arg(&date_));
  }
  const uint32_t result = CallExport(driver_, name, a);
  if (name == "AUT_ObtemAbastecimento" && (result & 0xFF))
    handedOver_.insert(std::strtoll(buffers_[8], nullptr, 16));
  if (name == "AUT_RegistraBico" && registrations_++ < 100)
    registered_.insert(a[0] ? reinterpret_cast<const char*>(a[0]) : "");
}

// Whether the driver may have discarded the delivery by itself: its nozzle was not registered while
// it waited, or its volume is too small (the values added are none of them close to a limit).
bool Fuzz::DiscardedByRule(const SimDelivery& d) const {
  return unregisteredWhenAdded_.count(d.code) || d.volume < 0.001 ||
         (d.unitPrice > 0 && d.volume * d.unitPrice < 0.01);
}

bool Fuzz::CheckDeliveries() {
  int cleared = sim_.SimClearedCount(), handedCleared = 0, discarded = 0, unexplained = 0;
  for (int i = 0; i < cleared; ++i) {
    SimDelivery d{};
    sim_.SimGetCleared(i, &d);
    if (handedOver_.count(d.code))
      ++handedCleared;
    else if (DiscardedByRule(added_[d.code]))
      ++discarded;
    else if (++unexplained)
      std::printf("delivery %lld cleared without being handed over or discarded\n", d.code);
  }
  const int waiting = sim_.SimDeliveryCount();
  std::printf(
      "fuzz deliveries: %zu added, %d handed over and cleared, %d discarded by a "
      "rule, %d still in the controller\n",
      added_.size(), handedCleared, discarded, waiting);
  return unexplained == 0 && cleared + waiting == static_cast<int>(added_.size());
}

bool Fuzz::Run(long long calls) {
  for (long long i = 0; i < calls; ++i) {
    DisturbController();
    CallRandomExport();
  }
  sim_.SimClearFaults();
  sim_.SimSetConnected(1);
  if (!driver_.abiClean()) std::printf("a call unbalanced the stack or the registers\n");
  return CheckDeliveries() && driver_.abiClean();
}

}  // namespace

int main(int argc, char** argv) {
  ExitOnFault();
  const long long calls = Option(argc, argv, "--calls", 100000);
  const unsigned seed = static_cast<unsigned>(Option(argc, argv, "--seed", 1));
  EnterFreshFolder("fuzz");
  Fuzz fuzz(seed);
  bool ok = fuzz.Run(calls);
  std::printf("fuzz: %lld calls, seed %u, no fault reached the host; %s\n", calls, seed,
              ok ? "every delivery accounted for" : "DELIVERY INVARIANT BROKEN");
  return ok ? 0 : 1;
}
