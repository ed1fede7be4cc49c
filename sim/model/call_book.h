// What the tests see of the traffic: the record of entry-point calls, and
// the faults they have asked for.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

namespace qxsim {

// One call's text, built up argument by argument:
//   SetHosePrices(12,2,1,3.459,3.459)=0
class CallText {
 public:
  explicit CallText(const char* name) : name_(name), text_(name) { text_ += '('; }
  CallText& Int(int64_t value);
  // Shortest text that reads back as the same double.
  CallText& Real(double value);
  // A wide text in double quotes; ", \ and anything outside printable ASCII
  // are escaped (\", \\, \u00e9).
  CallText& Text(const wchar_t* text);

  const char* name() const { return name_; }
  std::string Finish(int32_t result) const;

 private:
  void Separate();

  const char* name_;
  std::string text_;
  bool first_ = true;
};

// The texts of the calls made, oldest first. Beyond kKeep texts the oldest
// go; the counts by name are kept whole.
class CallBook {
 public:
  static constexpr size_t kKeep = 100000;

  void Record(const char* name, std::string text);
  void Clear();
  size_t size() const { return texts_.size(); }
  const std::string& at(size_t index) const { return texts_[index]; }
  // Calls of `name` ("*" = all) since the last Clear.
  int64_t Count(const std::string& name) const;

 private:
  std::deque<std::string> texts_;
  std::map<std::string, int64_t> counts_;
  int64_t total_ = 0;
};

// Injected failures.
class FaultPlan {
 public:
  // `name` fails with `code` at `count` calls from its nth call from now on
  // (nth 1 = the next call); count 0 = every call from there until Clear.
  // "*" stands for every entry point.
  void Add(const std::string& name, int32_t nth, int32_t count, int32_t code);
  void Clear() { faults_.clear(); }
  // Counts one call of `name` against the faults; true with the code of the
  // first fault that fires.
  bool Fire(const char* name, int32_t& code);

 private:
  struct Fault {
    std::string name;
    int32_t skip;      // calls to let through first
    int32_t failures;  // calls to fail then; 0 = every call
    int32_t code;
  };
  std::vector<Fault> faults_;
};

}  // namespace qxsim
