// What the delivery proofs share: a station built through the simulator's
// control exports, a host that polls and confirms as a real one does, and
// the ledger that follows every delivery from the controller to the host.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host_api/KorvanDriver.h"
#include "contract/sim_control.h"
#include "tests/common/station.h"

const int32_t kDriverClient = 97;  // the lock value of the driver's reservations
const int32_t kOtherClient = 42;   // another terminal of the station

// What the driver is to do with a delivery.
enum class Fate { HandOver, Unregistered, TooSmall };

// Thread-safe: host threads may report at once. A confirmation that
// returned 1 speaks for the delivery that its thread was handed last.
class Ledger {
 public:
  explicit Ledger(const SimControl& sim) : sim_(sim) {}
  // Puts the delivery in the controller's list with a code of its own.
  int32_t Add(SimDelivery d, Fate fate);
  // One poll of the host's, its buffers prefilled with a sentinel, and the
  // confirmation of what it handed over: false when nothing came.
  bool Poll(KorvanDriver& driver, int64_t& code, bool& confirmed);
  void Confirmed(int64_t code, bool result);
  // After the faults ended and the host drained the queue.
  void CheckEnd();
  bool ok() const { return violations_.empty(); }
  const std::vector<std::string>& violations() const { return violations_; }
  std::string Summary() const;

 private:
  struct Entry {
    int32_t id = 0, hose = 0;
    Fate fate = Fate::HandOver;
    int handovers = 0, confirmations = 0;
    int64_t confirmedAt = INT64_MAX;  // ticket after a confirmation gave 1
    int64_t clearedAt = INT64_MAX;    // ticket when seen cleared
  };
  void Violation(const Entry& e, const std::string& what);
  void SeeCleared();
  int64_t Ticket();
  // Records a hand-over; returns the delivery's code (0 when unknown).
  int64_t HandedOver(const KorvanDriver::Delivery& d, int64_t pollTicket);

  SimControl sim_;
  std::mutex lock_;
  std::map<int64_t, Entry> byCode_;
  int seenCleared_ = 0;
  int64_t tickets_ = 0;
  int64_t nextCode_ = 0x5A00000001LL;
  std::vector<std::string> violations_;
  int onPurpose_ = 0, heldBehind_ = 0;
};

// A host program with the driver loaded: starts its day, polls, stores, confirms (again after a
// refusal), and may restart, which unloads the driver while the controller keeps its state.
class Host {
 public:
  Host(const SimControl& sim, Ledger& ledger, const std::vector<std::string>& nozzles,
       const std::string& configuracao)
      : sim_(sim), ledger_(ledger), nozzles_(nozzles), configuracao_(configuracao) {}
  ~Host() { Unload(); }
  void Start();
  void Restart();
  // One cycle: a confirmation owed, then polls while deliveries come.
  void Cycle();
  // Polls until the queue is empty or `polls` cycles have passed.
  void Drain(int polls);
  KorvanDriver& driver() { return *driver_; }

 private:
  void Unload();

  SimControl sim_;
  Ledger& ledger_;
  std::vector<std::string> nozzles_;
  std::string configuracao_;
  std::unique_ptr<KorvanDriver> driver_;
  int64_t owed_ = 0;  // code whose confirmation has not returned 1 yet
  int attempts_ = 0;
};

// FNV-1a of the call record so far, folded into `hash` (and printed to `echo`); then clears it.
const uint64_t kHashStart = 1469598103934665603ULL;
uint64_t HashCalls(const SimControl& sim, uint64_t hash, std::FILE* echo = nullptr);

// The runs [first, end) of a proof (positions or seeds), every --step-th: `run` runs one, prints
// what it found and returns false on a violation. Without --from the runs go in chunks of child
// processes (this program with `arguments`, --step, --from and --to), as a process may load the
// driver only so many times; with it, or when one chunk does, here. 0 when all pass.
int RunProof(int argc, char** argv, const char* name, const std::string& arguments, long long first,
             long long end, long long chunk, const std::function<bool(long long)>& run);
