// The driver's log. Every module writes its lines through here.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace korvan {

// Whether lines are being written: the log writer switches it (the native
// tests keep it on). While logging is off nothing is composed.
extern std::atomic<bool> loggingOn;
inline bool LogIsOn() { return loggingOn.load(std::memory_order_relaxed); }
// Writes one composed line. Defined by the Windows log writer (and by the
// native tests).
void WriteLogLine(std::string_view line);

inline void AppendLogPart(std::string& line, std::string_view part) { line.append(part); }
inline void AppendLogPart(std::string& line, char part) { line.push_back(part); }

// Composes and writes one line; WriteLog's slow part, kept out of line.
template <class... Parts>
__attribute__((noinline)) void ComposeLogLine(const Parts&... parts) {
  std::string line;
  (AppendLogPart(line, parts), ...);
  WriteLogLine(line);
}

// Writes one line made of `parts` when logging is on; never fails towards its
// caller. With logging off it costs one load and a branch at the call.
template <class... Parts>
inline void WriteLog(const Parts&... parts) {
  if (LogIsOn()) ComposeLogLine(parts...);
}

}  // namespace korvan
