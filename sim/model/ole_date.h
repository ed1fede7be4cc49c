// OLE Automation dates: days since 30 December 1899 at midnight, the
// fraction being the time of day. Deliveries carry their completion time in
// this form.
#pragma once

namespace qxsim {

// The date of a civil date and time (proleptic Gregorian, from 1900 on).
double OleDate(int year, int month, int day, int hour, int minute, int second);

// `date` rounded to the nearest whole second, as the controller records it.
double RoundToSecond(double date);

// `date` moved on by `seconds`, rounded to the whole second.
double AddSeconds(double date, double seconds);

}  // namespace qxsim
