#include "base/log_line.h"

#include <gtest/gtest.h>

#include "base/log.h"
#include "log_capture.h"

namespace {

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
    EXPECT_EQ(LogFilePath(c.now), c.path) << c.now.day << "/" << c.now.month << " " << c.now.hour << "h";
  }
}

TEST(LogLine, TimeBetweenMarkersThenTheMessage) {
  const LocalTime now{2026, 12, 5, 14, 37, 5, 250};
  EXPECT_EQ(LogLine(now, ':', "Error: 5"), "DRV - < 14:37:05 >Error: 5\r\n");
  EXPECT_EQ(LogLine(now, '.', "x"), "DRV - < 14.37.05 >x\r\n");
  EXPECT_EQ(LogLine({2026, 1, 2, 9, 5, 0, 0}, ':', ""), "DRV - < 09:05:00 >\r\n");
  EXPECT_EQ(LogLine({2026, 1, 2, 0, 0, 0, 0}, ':', "a\tb"), "DRV - < 00:00:00 >a\tb\r\n");
}

// The sources are UTF-8; the driver's texts must be single CP1252 bytes.
TEST(LogLine, AccentsAreSingleWindowsAnsiBytes) {
  const std::string message = "Início da gravação do arquivo de LOG";
  ASSERT_EQ(message.size(), 36u);
  EXPECT_EQ(static_cast<unsigned char>(message[2]), 0xEDu);   // í
  EXPECT_EQ(static_cast<unsigned char>(message[15]), 0xE7u);  // ç
  EXPECT_EQ(static_cast<unsigned char>(message[16]), 0xE3u);  // ã
  const std::string line = LogLine({2026, 12, 5, 14, 37, 5, 0}, ':', message);
  EXPECT_EQ(line.substr(18, 36), message);
}

TEST(CheckResult, ZeroIsSuccessWithoutALine) {
  EXPECT_TRUE(CheckResult(0));
  EXPECT_TRUE(TakeLogLines().empty());
}

TEST(CheckResult, AnyOtherCodeLogsItInSignedDecimal) {
  const struct {
    int32_t code;
    const char* line;
  } cases[] = {{5, "Error: 5"}, {-1, "Error: -1"}, {-7, "Error: -7"}, {-2147483647 - 1, "Error: -2147483648"}};
  for (const auto& c : cases) {
    EXPECT_FALSE(CheckResult(c.code)) << c.code;
    EXPECT_EQ(TakeLogLines(), std::vector<std::string>{c.line});
  }
}

}  // namespace
