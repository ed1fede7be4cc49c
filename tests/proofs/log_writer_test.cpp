// The log writer under concurrent callers: 8 threads of 1,000 lines leave each line once, whole.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "base/log.h"
#include "base/log_writer.h"
#include "tests/common/station.h"

namespace {

using namespace korvan;

TEST(LogWriter, ConcurrentLinesArriveWholeAndOnce) {
  EnterFreshFolder("log-writer");
  const int threads = 8, lines = 1000;
  StartLogging();
  std::vector<std::thread> writers;
  for (int t = 0; t < threads; ++t)
    writers.emplace_back([t] {
      for (int i = 0; i < lines; ++i)
        WriteLog("thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
                 std::string(40, static_cast<char>('a' + t)));
    });
  for (auto& writer : writers) writer.join();
  StopLogging();

  const std::string bytes = ReadLogBytes();
  const std::regex line("DRV - < \\d\\d:\\d\\d:\\d\\d >thread (\\d) line (\\d+) ([a-h]{40})\r\n");
  std::map<std::pair<int, int>, int> seen;
  size_t start = 0, malformed = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    ASSERT_NE(end, std::string::npos) << "the last line has no line end";
    std::string text = bytes.substr(start, end + 2 - start);
    start = end + 2;
    if (text.find(" >thread ") == std::string::npos) continue;  // on / off lines
    std::smatch m;
    if (!std::regex_match(text, m, line) ||
        m[3].str() != std::string(40, static_cast<char>('a' + std::stoi(m[1])))) {
      if (++malformed < 5) ADD_FAILURE() << "interleaved or broken: " << text;
      continue;
    }
    ++seen[{std::stoi(m[1]), std::stoi(m[2])}];
  }
  EXPECT_EQ(malformed, 0u);
  EXPECT_EQ(seen.size(), static_cast<size_t>(threads * lines));
  for (const auto& [key, count] : seen)
    if (count != 1)
      ADD_FAILURE() << "thread " << key.first << " line " << key.second << " written " << count
                    << " times";
}

}  // namespace
