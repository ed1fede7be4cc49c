// Trace replay: the client library's calls answered from a trace recorded at
// a station by the tracing QXClient.dll (trace/), in the order recorded.
// Each call must be the trace's next call, the same operation with the same
// inputs; its result code and outputs are then the recorded ones. At the
// first call that differs (another operation, other inputs, a call past the
// end of the trace) the replay stops answering: that call and every later
// one fail with SIM_ERR_TRACE, and the divergence is kept and reported once:
// where in the trace, what was recorded there and what came instead.
// Shared by the simulated QXClient.dll (QXSIM_TRACE) and qxsim-server
// (--trace); the trace is read one line at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "trace/trace_reader.h"

namespace qxsim {

using Json = nlohmann::json;

class TraceReplay {
 public:
  using Report = std::function<void(const std::string&)>;

  // `report` receives the divergence's text, once.
  void OnDivergence(Report report) { report_ = std::move(report); }

  // Starts replaying `path` from its beginning. False when it cannot be
  // read: the replay then stands diverged before its first call.
  bool Start(const std::string& path);
  void Stop();
  bool on() const { return on_; }

  // The recorded call that answers `op` with `inputs` (numbers, texts and
  // nulls, as a trace holds them), or null once the replay has diverged.
  const qxtrace::Call* Answer(const std::string& op, const Json& inputs);
  // The call last answered cannot take its recorded outputs (`why`): a
  // divergence too.
  void Misfit(const std::string& op, const Json& inputs, const std::string& why);

  struct Divergence {
    int64_t line = 0;  // in the trace file, from 1; 0: before any line
    int64_t call = 0;  // among the trace's calls, from 1
    std::string expected;
    std::string actual;
    std::string text;  // all of it, for a person
  };
  bool diverged() const { return diverged_; }
  const Divergence& divergence() const { return divergence_; }
  int64_t answered() const { return answered_; }
  const std::string& path() const { return path_; }

 private:
  // Keeps the first divergence and reports it; `detail` adds a reason (or
  // is the whole text when no call was read).
  void Diverge(std::string expected, std::string actual, const std::string& detail = "");

  Report report_;
  qxtrace::TraceReader reader_;
  Json line_;
  qxtrace::Call call_;
  std::string path_;
  bool on_ = false;
  bool diverged_ = false;
  int64_t calls_ = 0;
  int64_t answered_ = 0;
  Divergence divergence_;
};

// A call as a person reads it: GetDeliveryByOrdinal(2), SetHosePrices(31,2,1,6.199,6.199).
std::string DescribeCall(const std::string& op, const Json& inputs);
// Recorded and actual inputs agree: integers equal, doubles the same bits
// (numbers of either kind compared as doubles when one is), texts equal.
bool SameInputs(const Json& recorded, const Json& actual);

}  // namespace qxsim
