// Reading a trace back (trace_line.h writes it): one line at a time, so a
// trace of any length takes the memory of one line. Used by the simulator's
// replay, qxsim-server's --trace and korvan-host's summary. A trace comes
// from a station; nothing in it is trusted: lines are bounded before they
// are parsed, and so is their nesting.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace qxtrace {

using Json = nlohmann::json;

// The longest line read; a GetNextPumpEventEx2 line is well under 2 KiB.
constexpr size_t kMaxLine = 64 * 1024;

class TraceReader {
 public:
  TraceReader() = default;
  ~TraceReader() { Close(); }
  TraceReader(const TraceReader&) = delete;
  TraceReader& operator=(const TraceReader&) = delete;

  bool Open(const std::string& path);
  void Close();

  enum class Read {
    Object,  // `line` holds the next line, a JSON object
    End,     // no more lines: the end of the file, or its first NUL (a
             // trace being written runs on in zeros). A last line without
             // its newline is not one (a host killed while it was being
             // written leaves it).
    Bad,     // the next line is too long or not one JSON object (`problem`)
  };
  // Skips blank lines.
  Read Next(Json& line, std::string& problem);
  // The number of the line last read, from 1.
  int64_t lineNumber() const { return lineNumber_; }

 private:
  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;  // bytes read: [begin_, end_) not yet a line
  size_t begin_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  int64_t lineNumber_ = 0;
};

// A double as a trace writes it: a number, or "NaN", "Infinity",
// "-Infinity".
bool ReadDouble(const Json& value, double& out);
// An integer within [low, high].
bool ReadInteger(const Json& value, int64_t low, int64_t high, int64_t& out);

// The fields of a call line, checked: "op" a name, "in" and "out" arrays
// when present (an absent "in" is empty), "r" a 32-bit result, "t" and "us"
// whole numbers. False with the reason when the line does not hold a call.
struct Call {
  std::string op;
  const Json* in = nullptr;
  const Json* out = nullptr;  // null when not recorded
  int32_t result = 0;
  int64_t micros = 0;    // from the start of the trace
  int64_t duration = 0;  // microseconds
};
bool ReadCall(const Json& line, Call& call, std::string& problem);

}  // namespace qxtrace
