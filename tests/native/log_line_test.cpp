#include "base/log_line.h"
#include "base/result.h"

#include <gtest/gtest.h>

#include "base/log.h"
#include "log_capture.h"

namespace {

using namespace korvan;

TEST(LogFilePath, OneFilePerHourNamedByDayMonthAndHour) {
  const struct {
    LocalTime now;
    const char* path;
  } cases[] = {
      {{2026, 12, 5, 14, 37, 5, 0}, "LOG\\DllDriverAutomacao0512_14.log"},
      {{2026, 12, 5, 14, 59, 59, 999}, "LOG\\DllDriverAutomacao0512_14.log"},
      {{2026, 12, 5, 15, 0, 0, 0}, "LOG\\DllDriverAutomacao0512_15.log"},
      {{2027, 1, 1, 0, 0, 0, 0}, "LOG\\DllDriverAutomacao0101_00.log"},
      {{2026, 12, 31, 23, 59, 59, 0}, "LOG\\DllDriverAutomacao3112_23.log"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LogFilePath(c.now), c.path)
        << c.now.day << "/" << c.now.month << " " << c.now.hour << "h";
  }
}

TEST(LogLine, TimeBetweenMarkersThenTheMessage) {
  const LocalTime now{2026, 12, 5, 14, 37, 5, 250};
  EXPECT_EQ(LogLine(now, ':', "Error: 5"), "DRV - < 14:37:05 >Error: 5\r\n");
  EXPECT_EQ(LogLine(now, '.', "x"), "DRV - < 14.37.05 >x\r\n");
  EXPECT_EQ(LogLine({2026, 1, 2, 9, 5, 0, 0}, ':', ""), "DRV - < 09:05:00 >\r\n");
  EXPECT_EQ(LogLine({2026, 1, 2, 0, 0, 0, 0}, ':', "a\tb"), "DRV - < 00:00:00 >a\tb\r\n");
}

TEST(RefusedWithErrorLine, TheCodeInSignedDecimal) {
  for (int32_t code : {5, -1, -7, 2147483647, -2147483647 - 1}) {
    SCOPED_TRACE(code);
    const Result result = RefusedWithErrorLine(code);
    EXPECT_TRUE(result.refused());
    EXPECT_EQ(result.code(), code);
    EXPECT_EQ(TakeLogLines(), std::vector<std::string>{"Error: " + std::to_string(code)});
  }
}

}  // namespace
