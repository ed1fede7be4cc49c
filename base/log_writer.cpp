// The log writer: one line at a time, appended to the hour's file, which is
// opened and closed for every line. No error of the log reaches its caller.
#include "base/log_writer.h"

#include <atomic>

#include "base/log.h"
#include "base/log_line.h"
#include "base/platform.h"

namespace korvan {

std::atomic<bool> loggingOn{false};

namespace {

// Lets one line be written at a time; test and set in one step.
std::atomic_flag logBusy = ATOMIC_FLAG_INIT;
char timeSeparator = ':';

void WriteLine(std::string_view message) {
  // The file's hour is read before the line's time, so a line written at the
  // turn of an hour may carry the new hour in the old hour's file.
  std::string path = LogFilePath(platform::Now());
  platform::EnsureFolder("LOG");
  std::string line = LogLine(platform::Now(), timeSeparator, message);
  platform::AppendToFile(path, line);  // a line that cannot be written is lost
}

}  // namespace

void WriteLogLine(std::string_view message) {
  if (!LogIsOn()) return;
  // Another thread's line is in flight (an open, an append and a close, well
  // under a millisecond): look again every 100 ms, the wait this log has
  // always had. A sleep, not a spin, so that a writer preempted mid-line gets
  // the processor back.
  while (logBusy.test_and_set(std::memory_order_acquire)) platform::SleepMilliseconds(100);
  WriteLine(message);
  logBusy.clear(std::memory_order_release);
}

void SetLogTimeSeparator(char separator) { timeSeparator = separator; }

void StartLogging() {
  if (loggingOn.exchange(true)) return;
  WriteLog("Início da gravação do arquivo de LOG");
}

void StopLogging() {
  if (!loggingOn.load()) return;
  WriteLog("Fim da gravação do arquivo de LOG");
  loggingOn.store(false);
}

}  // namespace korvan
