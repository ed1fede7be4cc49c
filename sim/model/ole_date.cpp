#include "sim/model/ole_date.h"

#include <cmath>

namespace qxsim {
namespace {

constexpr double kSecondsPerDay = 86400.0;

// Days from 1 January 1970 to a civil date (H. Hinnant's days_from_civil).
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

// 30 December 1899, the OLE epoch, in days from 1 January 1970.
constexpr long kOleEpoch = -25569;

}  // namespace

double OleDate(int year, int month, int day, int hour, int minute, int second) {
  const long days =
      DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kOleEpoch;
  const long seconds = hour * 3600L + minute * 60L + second;
  return static_cast<double>(days) + seconds / kSecondsPerDay;
}

double RoundToSecond(double date) { return std::round(date * kSecondsPerDay) / kSecondsPerDay; }

double AddSeconds(double date, double seconds) {
  return std::round(date * kSecondsPerDay + seconds) / kSecondsPerDay;
}

}  // namespace qxsim
