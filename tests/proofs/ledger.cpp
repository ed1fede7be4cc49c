#include "tests/proofs/ledger.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char kSentinel = '\x7F';
static const double kSentinelDate = -12345.5;

int32_t Ledger::Add(SimDelivery d, Fate fate) {
  std::lock_guard<std::mutex> hold(lock_);
  d.code = nextCode_++;
  const int32_t id = sim_.SimAddDelivery(&d);
  if (id > 0) byCode_[d.code] = Entry{id, d.hoseId, fate};
  return std::max(id, 0);
}

bool Ledger::Poll(KorvanDriver& driver, int64_t& code, bool& confirmed) {
  KorvanDriver::Delivery d;
  std::memset(&d, kSentinel, sizeof d);
  d.data = kSentinelDate;
  const int64_t ticket = Ticket();
  if (!driver.ObtemAbastecimento(d)) return false;
  code = HandedOver(d, ticket);
  confirmed = driver.ConfirmaAbastecimento();
  Confirmed(code, confirmed);
  return true;
}

void Ledger::SeeCleared() {
  const int cleared = sim_.SimClearedCount();
  for (; seenCleared_ < cleared; ++seenCleared_) {
    SimDelivery d{};
    sim_.SimGetCleared(seenCleared_, &d);
    const auto found = byCode_.find(d.code);
    if (found == byCode_.end())
      violations_.push_back("cleared a delivery never added: id " + std::to_string(d.id));
    else
      found->second.clearedAt = tickets_;
  }
}

int64_t Ledger::Ticket() {
  std::lock_guard<std::mutex> hold(lock_);
  SeeCleared();
  return ++tickets_;
}

void Ledger::Violation(const Entry& e, const std::string& what) {
  static const char* const fates[] = {"to hand over", "of an unregistered nozzle", "too small"};
  violations_.push_back("delivery " + std::to_string(e.id) + " (" +
                        fates[static_cast<int>(e.fate)] + ", handed over " +
                        std::to_string(e.handovers) + "x, confirmed " +
                        std::to_string(e.confirmations) + "x): " + what);
}

int64_t Ledger::HandedOver(const KorvanDriver::Delivery& d, int64_t pollTicket) {
  std::lock_guard<std::mutex> hold(lock_);
  const char* fields[] = {
      d.numeroLogico,    d.volume, d.valorTotal, d.precoUnitario, d.encerranteInicial,
      d.encerranteFinal, d.hora,   d.text8,      d.text9,         d.text10};
  const int64_t code = std::strtoll(d.text9, nullptr, 16);
  const auto found = byCode_.find(code);
  if (found == byCode_.end()) {
    violations_.push_back(std::string("handed over an unknown delivery, code '") +
                          std::string(d.text9, strnlen(d.text9, 20)) + "'");
    return 0;
  }
  Entry& e = found->second;
  ++e.handovers;
  for (int i = 0; i < 10; ++i) {
    const size_t length = strnlen(fields[i], sizeof d.volume);
    if (length == sizeof d.volume || std::memchr(fields[i], kSentinel, length))
      Violation(e, "handed over with text " + std::to_string(i + 1) + " unwritten");
  }
  if (d.data == kSentinelDate) Violation(e, "handed over with its date unwritten");
  const std::string nozzle(d.numeroLogico, strnlen(d.numeroLogico, sizeof d.numeroLogico));
  if (std::to_string(e.hose) != nozzle) Violation(e, "handed over as nozzle '" + nozzle + "'");
  if (e.fate != Fate::HandOver) Violation(e, "handed over, not discarded");
  if (e.confirmedAt < pollTicket)
    Violation(e, "handed over again after its confirmation returned 1");
  if (e.clearedAt < pollTicket) Violation(e, "handed over after it was cleared");
  return code;
}

void Ledger::Confirmed(int64_t code, bool result) {
  std::lock_guard<std::mutex> hold(lock_);
  const auto found = byCode_.find(code);
  if (found == byCode_.end()) return;
  ++found->second.confirmations;
  if (result && found->second.confirmedAt == INT64_MAX) found->second.confirmedAt = ++tickets_;
}

void Ledger::CheckEnd() {
  std::lock_guard<std::mutex> hold(lock_);
  SeeCleared();
  // The driver looks at the list's first delivery: one left there on purpose holds back the rest.
  bool heldBack = false;
  int stuckBehind = 0;
  const int waiting = sim_.SimDeliveryCount();
  std::map<int64_t, SimDelivery> left;
  for (int i = 0; i < waiting; ++i) {
    SimDelivery d{};
    sim_.SimGetDelivery(i, &d);
    left[d.code] = d;
    const auto found = byCode_.find(d.code);
    if (found == byCode_.end()) continue;
    const bool onPurpose =
        d.lockedBy == kOtherClient || (d.state == 3 && d.lockedBy == kDriverClient);
    if (onPurpose) {
      ++onPurpose_;
      heldBack = true;
    } else if (heldBack) {
      ++heldBehind_;
    } else if (stuckBehind++ == 0) {
      Violation(found->second, "still waiting once the faults ended (lock " +
                                   std::to_string(d.lockedBy) + ", state " +
                                   std::to_string(d.state) + ")");
    }
  }
  if (stuckBehind > 1)
    violations_.push_back(std::to_string(stuckBehind - 1) + " more deliveries waiting behind it");
  for (const auto& [code, e] : byCode_) {
    const bool cleared = e.clearedAt != INT64_MAX;
    if (cleared && e.fate == Fate::HandOver && (e.handovers == 0 || e.confirmations == 0))
      Violation(e, "cleared without being handed over and confirmed");
    if (!cleared && !left.count(code)) Violation(e, "gone from the controller, not cleared");
    if (e.confirmedAt != INT64_MAX && !cleared && left[code].state != 3)
      Violation(e, "confirmation returned 1 but it was not cleared");
  }
}

std::string Ledger::Summary() const {
  int handed = 0, discarded = 0, cleared = 0;
  for (const auto& [code, e] : byCode_) {
    handed += e.handovers > 0;
    cleared += e.clearedAt != INT64_MAX;
    discarded += e.clearedAt != INT64_MAX && e.fate != Fate::HandOver;
  }
  char text[200];
  std::snprintf(text, sizeof text,
                "%zu deliveries: %d handed over, %d cleared (%d discarded by a rule), "
                "%d left on purpose, %d held behind them",
                byCode_.size(), handed, cleared, discarded, onPurpose_, heldBehind_);
  return text;
}

void Host::Unload() {
  if (driver_ && driver_->module()) FreeLibrary(driver_->module());
  driver_.reset();
}

void Host::Start() {
  driver_ = std::make_unique<KorvanDriver>();
  if (!driver_->loaded()) {
    std::fprintf(stderr, "cannot load _Korvan.dll\n");
    std::exit(2);
  }
  // A failed start is no reason to stop: the polls reconnect.
  driver_->IniciaComunicacao("127.0.0.1", "PROOF", configuracao_.c_str());
  for (const auto& n : nozzles_) driver_->RegistraBico(n.c_str(), "1", "", "3", "3", "2", "3", "");
}

void Host::Restart() {
  Unload();
  owed_ = 0;
  Start();
}

void Host::Cycle() {
  if (owed_ != 0) {
    const bool confirmed = driver_->ConfirmaAbastecimento();
    ledger_.Confirmed(owed_, confirmed);
    // After a few refusals the host polls again: the delivery may have moved on in the controller.
    if (confirmed || ++attempts_ >= 3) owed_ = 0;
    if (!confirmed) return;
  }
  for (int polls = 0; polls < 3; ++polls) {
    int64_t code = 0;
    bool confirmed = false;
    if (!ledger_.Poll(*driver_, code, confirmed)) return;
    if (!confirmed) {
      owed_ = code;
      attempts_ = 1;
      return;
    }
  }
}

void Host::Drain(int polls) {
  for (int i = 0; i < polls; ++i) {
    Cycle();
    if (sim_.SimDeliveryCount() == 0) return;
  }
}

uint64_t HashCalls(const SimControl& sim, uint64_t hash, std::FILE* echo) {
  char text[1024];
  const int calls = sim.SimCallCount();
  for (int i = 0; i < calls; ++i) {
    const int length = sim.SimGetCall(i, text, sizeof text);
    for (int j = 0; j < length && j < static_cast<int>(sizeof text) - 1; ++j)
      hash = (hash ^ static_cast<unsigned char>(text[j])) * 1099511628211ULL;
    hash = (hash ^ '\n') * 1099511628211ULL;
    if (echo) std::fprintf(echo, "%s\n", text);
  }
  sim.SimClearCalls();
  return hash;
}

int RunProof(int argc, char** argv, const char* name, const std::string& arguments, long long first,
             long long end, long long chunk, const std::function<bool(long long)>& run) {
  const long long step = Option(argc, argv, "--step", 1), to = Option(argc, argv, "--to", end);
  long long from = Option(argc, argv, "--from", 0);
  chunk = Option(argc, argv, "--chunk", chunk) * step;
  if (from == 0 && to - first > chunk) {
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    int failed = 0;
    for (long long a = first; a < to; a += chunk) {
      std::string line = "\"" + std::string(exe) + "\" " + arguments + " --step " +
                         std::to_string(step) + " --from " + std::to_string(a) + " --to " +
                         std::to_string(std::min(a + chunk, to));
      STARTUPINFOA startup{};
      startup.cb = sizeof startup;
      PROCESS_INFORMATION process{};
      DWORD status = 1;
      if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                         &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
      }
      failed += status != 0;
    }
    std::printf("%s %lld..%lld: %s\n", name, first, to - 1,
                failed ? "VIOLATIONS (see above)" : "every delivery accounted for");
    return failed == 0 ? 0 : 1;
  }
  long long runs = 0, failed = 0;
  for (long long k = from ? from : first; k < to; k += step, ++runs) failed += !run(k);
  std::printf("%s %lld..%lld step %lld: %lld of %lld runs with violations\n", name,
              from ? from : first, to - 1, step, failed, runs);
  std::fflush(stdout);
  return failed == 0 ? 0 : 1;
}
