#include "host/trace_summary.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/log.h"
#include "base/number_texts.h"
#include "deliveries/volume_rules.h"
#include "trace/trace_reader.h"

// The summary judges recorded deliveries by the driver's own rules, which
// write log lines as they go; in korvan-host they have nowhere to go.
namespace korvan {
std::atomic<bool> loggingOn{false};
void WriteLogLine(std::string_view) {}
}  // namespace korvan

namespace {

using qxtrace::Json;

// Outputs of GetDeliveryPropertiesEx2 that the summary reads, by place.
enum DeliveryOutput { kHose = 0, kVolume = 3, kUnitPrice = 5, kAmount = 6, kLockedBy = 9 };

// Whether the driver throws a delivery of these numbers away: a volume that
// is nothing at three decimals, or that pays less than a cent (volume
// re-engineering, REL=S, is not in a trace: taken as off).
bool DiscardedByTheDriver(double volume, double unitPrice, double amount) {
  using namespace korvan;
  const RegionalSettings settings;
  NumberText v = FormatNumber(volume, settings);
  const std::optional<int64_t> cut = CutToDecimals(3, v);
  if (cut && *cut <= 0) return true;
  std::string error;
  return ApplyVolumeRules(v, FormatNumber(unitPrice, settings), FormatNumber(amount, settings),
                          false, settings, error) == VolumeVerdict::Discard;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

double NumberAt(const Json& list, size_t place) {
  double value = 0;
  if (place < list.size()) qxtrace::ReadDouble(list[place], value);
  return value;
}

int64_t IntegerAt(const Json& list, size_t place) {
  int64_t value = 0;
  if (place < list.size()) qxtrace::ReadInteger(list[place], INT64_MIN, INT64_MAX, value);
  return value;
}

class Summary {
 public:
  void Header(const Json& line);
  void Note(const Json& line);
  void Call(const qxtrace::Call& call);
  void Unreadable() { ++unreadable_; }
  void Print(const std::string& path, std::FILE* out) const;

 private:
  struct Operation {
    std::vector<int64_t> durations;
    std::map<int32_t, int64_t> errors;
  };
  enum class Fate { HandedOver, Discarded, Confirmed };

  void Event(int64_t micros, std::string text) { timeline_.emplace_back(micros, std::move(text)); }
  void Delivery(const qxtrace::Call& call);
  void Cleared(const qxtrace::Call& call);
  std::string Clock(int64_t micros) const;

  std::map<std::string, Operation> operations_;
  std::vector<std::pair<int64_t, std::string>> timeline_;
  std::map<int64_t, Fate> deliveries_;
  int64_t calls_ = 0, unreadable_ = 0, first_ = -1, last_ = 0;
  int logons_ = 0, reconnections_ = 0, handedOver_ = 0, confirmed_ = 0, discarded_ = 0;
  bool loggedOn_ = false, linkLost_ = false;
  int64_t startOfDay_ = -1;  // the trace's start, milliseconds after midnight
  std::string started_, real_;
  int64_t bits_ = 0;
};

void Summary::Header(const Json& line) {
  if (line.contains("started") && line["started"].is_string()) {
    started_ = line["started"].get<std::string>();
    unsigned h = 0, m = 0, s = 0, ms = 0;
    const size_t at = started_.find('T');
    if (at != std::string::npos &&
        std::sscanf(started_.c_str() + at + 1, "%2u:%2u:%2u.%3u", &h, &m, &s, &ms) == 4) {
      startOfDay_ = ((h * 60 + m) * 60 + s) * 1000LL + ms;
    }
  }
  if (line.contains("real") && line["real"].is_string()) real_ = line["real"].get<std::string>();
  if (line.contains("bits")) qxtrace::ReadInteger(line["bits"], 0, 128, bits_);
  if (line.contains("note")) Note(line);  // e.g. the file it was given was taken
}

void Summary::Note(const Json& line) {
  int64_t t = 0;
  if (line.contains("t")) qxtrace::ReadInteger(line["t"], 0, INT64_MAX, t);
  if (line["note"].is_string()) Event(t, "tracer: " + line["note"].get<std::string>());
}

void Summary::Call(const qxtrace::Call& call) {
  ++calls_;
  if (first_ < 0) first_ = call.micros;
  last_ = std::max(last_, call.micros + call.duration);
  Operation& operation = operations_[call.op];
  operation.durations.push_back(call.duration);
  if (call.result != 0) ++operation.errors[call.result];
  const std::string code = std::to_string(call.result);
  if (call.op == "ClientLogonEx") {
    if (call.result != 0) {
      Event(call.micros, (linkLost_ ? "reconnection failed: ClientLogonEx answered "
                                    : "logon failed: ClientLogonEx answered ") +
                             code);
    } else if (linkLost_) {
      Event(call.micros, "reconnected");
      ++reconnections_;
    } else {
      Event(call.micros, "logon");
      ++logons_;
    }
    loggedOn_ = call.result == 0 || loggedOn_;
    linkLost_ = linkLost_ && call.result != 0;
  } else if (call.op == "ClientLogoff") {
    Event(call.micros, call.result == 0 ? "logoff" : "logoff failed: answered " + code);
    loggedOn_ = linkLost_ = false;
  } else if (call.op == "TestConnection" && call.result != 0 && loggedOn_ && !linkLost_) {
    Event(call.micros, "link lost: TestConnection answered " + code);
    linkLost_ = true;
  } else if (call.op == "GetDeliveryPropertiesEx2" && call.result == 0 && call.out) {
    Delivery(call);
  } else if (call.op == "LockDelivery" && call.result != 0) {
    Event(call.micros,
          "delivery " + std::to_string(IntegerAt(*call.in, 0)) + ": LockDelivery answered " + code);
  } else if (call.op == "ClearDelivery") {
    Cleared(call);
  }
}

void Summary::Delivery(const qxtrace::Call& call) {
  const Json& out = *call.out;
  const int64_t id = IntegerAt(*call.in, 0);
  if (IntegerAt(out, kLockedBy) != -1) return;  // held by a client: not offered
  const double volume = NumberAt(out, kVolume), price = NumberAt(out, kUnitPrice),
               amount = NumberAt(out, kAmount);
  const std::string what = "delivery " + std::to_string(id) + " (hose " +
                           std::to_string(IntegerAt(out, kHose)) + ", volume " + Number(volume) +
                           ", price " + Number(price) + ", amount " + Number(amount) + ")";
  const auto seen = deliveries_.find(id);
  if (DiscardedByTheDriver(volume, price, amount)) {
    if (seen != deliveries_.end()) return;
    deliveries_[id] = Fate::Discarded;
    ++discarded_;
    Event(call.micros, what + " discarded by the driver's volume rules");
    return;
  }
  if (seen == deliveries_.end()) {
    deliveries_[id] = Fate::HandedOver;
    ++handedOver_;
    Event(call.micros, what + " handed over");
  } else if (seen->second == Fate::HandedOver) {
    Event(call.micros, what + " handed over again");
  }
}

void Summary::Cleared(const qxtrace::Call& call) {
  const int64_t id = IntegerAt(*call.in, 0);
  const std::string name = "delivery " + std::to_string(id);
  if (call.result != 0) {
    Event(call.micros, name + ": ClearDelivery answered " + std::to_string(call.result));
    return;
  }
  Fate& fate = deliveries_[id];
  if (fate == Fate::Discarded) return;  // the driver's own clearing of it
  Event(call.micros, name + " confirmed");
  if (fate != Fate::Confirmed) ++confirmed_;
  fate = Fate::Confirmed;
}

std::string Summary::Clock(int64_t micros) const {
  char text[40];
  if (startOfDay_ < 0) {
    std::snprintf(text, sizeof text, "+%10.3f s", micros / 1e6);
    return text;
  }
  const int64_t ms = (startOfDay_ + micros / 1000) % (24 * 3600 * 1000LL);
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", static_cast<int>(ms / 3600000),
                static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60),
                static_cast<int>(ms % 1000));
  return text;
}

int64_t Percentile(const std::vector<int64_t>& sorted, int percent) {
  const size_t rank = (sorted.size() * percent + 99) / 100;  // nearest rank
  return sorted[std::max<size_t>(rank, 1) - 1];
}

void Summary::Print(const std::string& path, std::FILE* out) const {
  std::fprintf(out, "Trace %s\n", path.c_str());
  if (!started_.empty()) {
    std::fprintf(out, "  recorded from %s by a %d-bit host; real library %s\n", started_.c_str(),
                 static_cast<int>(bits_), real_.c_str());
  }
  const double seconds = first_ < 0 ? 0 : (last_ - first_) / 1e6;
  std::fprintf(out, "  %lld calls over %.1f s", static_cast<long long>(calls_), seconds);
  if (unreadable_) std::fprintf(out, "; %lld lines not read", static_cast<long long>(unreadable_));
  std::fprintf(out, "\n\nTimeline\n");
  for (const auto& [micros, text] : timeline_) {
    std::fprintf(out, "  %s  %s\n", Clock(micros).c_str(), text.c_str());
  }
  std::fprintf(out,
               "\nLogons %d, reconnections %d; deliveries handed over %d, "
               "confirmed %d, discarded %d\n",
               logons_, reconnections_, handedOver_, confirmed_, discarded_);

  std::fprintf(out, "\nErrors by operation and code\n");
  bool any = false;
  for (const auto& [name, operation] : operations_) {
    for (const auto& [code, count] : operation.errors) {
      std::fprintf(out, "  %-26s %6d  %8lld of %lld calls\n", name.c_str(), code,
                   static_cast<long long>(count),
                   static_cast<long long>(operation.durations.size()));
      any = true;
    }
  }
  if (!any) std::fprintf(out, "  none\n");

  std::fprintf(out, "\nLatency by operation (microseconds)\n  %-26s %8s %8s %8s %8s\n", "operation",
               "calls", "p50", "p99", "max");
  for (const auto& [name, operation] : operations_) {
    std::vector<int64_t> sorted = operation.durations;
    std::sort(sorted.begin(), sorted.end());
    std::fprintf(out, "  %-26s %8zu %8lld %8lld %8lld\n", name.c_str(), sorted.size(),
                 static_cast<long long>(Percentile(sorted, 50)),
                 static_cast<long long>(Percentile(sorted, 99)),
                 static_cast<long long>(sorted.back()));
  }
}

}  // namespace

int RunTraceSummary(const std::string& path, std::FILE* out) {
  qxtrace::TraceReader reader;
  if (!reader.Open(path)) {
    std::fprintf(out, "cannot read %s\n", path.c_str());
    return 1;
  }
  Summary summary;
  Json line;
  std::string problem;
  for (;;) {
    const auto read = reader.Next(line, problem);
    if (read == qxtrace::TraceReader::Read::End) break;
    if (read == qxtrace::TraceReader::Read::Bad) {
      summary.Unreadable();
      continue;
    }
    qxtrace::Call call;
    if (line.contains("op")) {
      if (qxtrace::ReadCall(line, call, problem))
        summary.Call(call);
      else
        summary.Unreadable();
    } else if (line.contains("trace")) {
      summary.Header(line);
    } else if (line.contains("note")) {
      summary.Note(line);
    }
  }
  summary.Print(path, out);
  return 0;
}
