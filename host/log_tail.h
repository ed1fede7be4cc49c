// The driver's log as a host reads it back: the lines that one call added,
// to show a technician the driver's own words for a 0 result.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The hour's log file, as the driver names it: LOG\DllDriverAutomacaoDDMM_HH.log
// under the current directory, full path.
std::string LogFilePath();

class LogTail {
 public:
  // Remembers where the log ends now.
  void Mark();
  // The messages written since Mark (without the "DRV - < hh:mm:ss >"
  // prefix), also across the turn of an hour.
  std::vector<std::string> Since() const;

 private:
  std::string path_;
  uint64_t size_ = 0;
};
