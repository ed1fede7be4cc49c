// The platform services of the forecourt model on Linux, for qxsim-server
// built natively.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "sim/model/ole_date.h"
#include "sim/model/platform.h"

namespace qxsim {

uint64_t MonotonicMilliseconds() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

double LocalNowOleDate() {
  const time_t now = time(nullptr);
  struct tm t;
  localtime_r(&now, &t);
  return OleDate(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

std::string EnvironmentText(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string OwnFolder() { return std::string(); }

bool FileExists(const std::string& path) {
  std::ifstream file(path);
  return file.good();
}

bool ReadWholeFile(const std::string& path, std::string& contents) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream text;
  text << file.rdbuf();
  contents = text.str();
  return !file.bad();
}

void DebugLine(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

}  // namespace qxsim
