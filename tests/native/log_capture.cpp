#include "log_capture.h"

#include <gtest/gtest.h>

#include <utility>

#include "base/log.h"

namespace {

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

class ClearLogBeforeEachTest : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo&) override { Lines().clear(); }
};

const bool registered = [] {
  testing::UnitTest::GetInstance()->listeners().Append(new ClearLogBeforeEachTest);
  return true;
}();

}  // namespace

namespace korvan {
std::atomic<bool> loggingOn{true};
void WriteLogLine(std::string_view line) { Lines().emplace_back(line); }
}  // namespace korvan

std::vector<std::string> TakeLogLines() { return std::exchange(Lines(), {}); }
