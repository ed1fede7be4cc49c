#include "deliveries/delivery_texts.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <ostream>

namespace korvan {
void PrintTo(const ShortText& text, std::ostream* out) { *out << '"' << text.view() << '"'; }
}  // namespace korvan

namespace {

using namespace korvan;

std::optional<std::string> Hora(double oleDate, const RegionalSettings& settings) {
  ShortText text;
  if (!TimeText(oleDate, settings, text)) return std::nullopt;
  return std::string(text.view());
}

RegionalSettings Locale(const char* picture, char dateSeparator = '/', char timeSeparator = ':') {
  RegionalSettings settings;
  settings.shortDateFormat = picture;
  settings.dateSeparator = dateSeparator;
  settings.timeSeparator = timeSeparator;
  return settings;
}

constexpr double kFifthOfDecember2026 = 46361;
constexpr double kAt1435 = kFifthOfDecember2026 + (14 * 60 + 35) / 1440.0;
constexpr double kMsInDays = 1.0 / 86400000;

// Day-first and month-first locales agree on the value; only the text differs.
TEST(DeliveryTexts, DeliveryAt1435OnTheFifthOfDecember2026) {
  const RegionalSettings dayFirst = Locale("dd/MM/yyyy");
  const RegionalSettings monthFirst = Locale("M/d/yyyy");
  EXPECT_EQ(DateAtMidnight(kAt1435), kFifthOfDecember2026);
  EXPECT_EQ(ShortDateText(kAt1435, dayFirst), "05/12/2026");
  EXPECT_EQ(ShortDateText(kAt1435, monthFirst), "12/5/2026");
  EXPECT_EQ(Hora(kAt1435, dayFirst), "14:35:00");
  EXPECT_EQ(Hora(kAt1435, Locale("dd/MM/yyyy", '/', '.')), "14.35.00");
}

TEST(DeliveryTexts, DayNumbersToDates) {
  const RegionalSettings iso = Locale("yyyy-MM-dd");
  const struct {
    double oleDate;
    const char* text;
  } cases[] = {
      {0, "1899-12-30"},  {1, "1899-12-31"},     {2, "1900-01-01"},       {60, "1900-02-28"},
      {61, "1900-03-01"}, {25569, "1970-01-01"}, {36585, "2000-02-29"},   {36586, "2000-03-01"},
      {-1, "1899-12-29"}, {-1.25, "1899-12-29"}, {-657434, "0100-01-01"}, {2958465.5, "9999-12-31"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShortDateText(c.oleDate, iso), c.text) << c.oleDate;
}

TEST(DeliveryTexts, ShortDatePictures) {
  const struct {
    RegionalSettings settings;
    const char* text;
  } cases[] = {
      // clang-format off
      {Locale("m/d/yy"), "12/5/26"}, {Locale("m/d/yy", '-'), "12-5-26"},
      {Locale("dd.MM.yyyy", '.'), "05.12.2026"}, {Locale("d/M/yy"), "5/12/26"},
      {Locale("yyyy-MM-dd", '-'), "2026-12-05"}, {Locale("dd'/'MM", '-'), "05/12"},
      {Locale("DD MM YYYY"), "05 12 2026"}, {Locale("y"), "26"}, {Locale("yyyyy"), "2026"},
      {Locale("d/M/yyy"), "5/12/2026"},  // three letters or more: the whole year
      {Locale("ddd/MMMM/yy"), "05/12/26"},  // no names of days or months: two digits
      // clang-format on
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ShortDateText(kAt1435, c.settings), c.text)
        << "'" << c.settings.shortDateFormat << "'";
  }
  // A two-digit year keeps its leading zero; a one-letter day drops it.
  EXPECT_EQ(ShortDateText(36585, Locale("d/M/yy")), "29/2/00");
  EXPECT_EQ(ShortDateText(38353, Locale("dd/MM/yy")), "01/01/05");
}

TEST(DeliveryTexts, TimeOfDayToTheNearestMillisecond) {
  const RegionalSettings settings;
  const struct {
    double oleDate;
    const char* hora;
    double midnight;
  } cases[] = {
      {kFifthOfDecember2026, "00:00:00", 46361},
      {kFifthOfDecember2026 + 0.25, "06:00:00", 46361},
      {kFifthOfDecember2026 + 0.5, "12:00:00", 46361},
      {kFifthOfDecember2026 + (14 * 3600 + 59 * 60 + 59) / 86400.0, "14:59:59", 46361},
      {kFifthOfDecember2026 + 15 / 24.0, "15:00:00", 46361},
      {kFifthOfDecember2026 + (21 * 3600 + 43 * 60 + 32) / 86400.0, "21:43:32", 46361},
      {46362 - 0.6 * kMsInDays, "23:59:59", 46361},
      {46362 - 0.4 * kMsInDays, "00:00:00", 46362},
      {46361.999999994216, "00:00:00", 46362},  // exactly half a millisecond before
      {-0.9999999942129629, "00:00:00", -1},    // the same before 1899, away from zero
      {-1.25, "06:00:00", -1},
      {-0.5, "12:00:00", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Hora(c.oleDate, settings), c.hora) << c.oleDate;
    EXPECT_EQ(DateAtMidnight(c.oleDate), c.midnight) << c.oleDate;
  }
}

TEST(DeliveryTexts, DatesOutsideTheCalendarGiveNothing) {
  const RegionalSettings settings;
  for (double bad : {std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), 2958466.0, -657435.0, 1e300}) {
    EXPECT_EQ(Hora(bad, settings), std::nullopt) << bad;
    EXPECT_EQ(DateAtMidnight(bad), std::nullopt) << bad;
    EXPECT_EQ(ShortDateText(bad, settings), std::nullopt) << bad;
  }
  EXPECT_EQ(InvalidDate(2958466.0), "'2958466' is not a valid date");
}

TEST(DeliveryTexts, Hex64Text) {
  const struct {
    int64_t code;
    const char* text;
  } cases[] = {
      // clang-format off
      {0, "00000000"}, {255, "000000FF"}, {-1, "FFFFFFFFFFFFFFFF"}, {-256, "FFFFFFFFFFFFFF00"},
      {0xABCDEF12, "ABCDEF12"}, {0x123456789, "123456789"},
      {std::numeric_limits<int64_t>::max(), "7FFFFFFFFFFFFFFF"},
      {std::numeric_limits<int64_t>::min(), "8000000000000000"},
      // clang-format on
  };
  for (const auto& c : cases) EXPECT_EQ(Hex64Text(c.code), c.text) << c.code;
}

}  // namespace
