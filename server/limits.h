// What a forecourt can hold and what the server takes from a client: the
// values are checked on the wire and on the panel before anything is done
// with them, so no infinity reaches a total and no client text fills the
// log or the panel's state.
#pragma once

#include <cstddef>

namespace qxserver::limits {

// A pump shows unit prices of 4 + 3 digits, volumes of 5 + 3 digits and
// amounts of 6 + 2 digits; nothing outside (NaN included) is taken.
constexpr double kMinPrice = 0.001;
constexpr double kMaxPrice = 9999.999;
constexpr double kMinVolume = 0.001;
constexpr double kMaxVolume = 99999.999;
constexpr double kMinAmount = 0.01;
constexpr double kMaxAmount = 999999.99;
// A delivery the panel runs (at 5 L/s) is at most this many litres.
constexpr double kMaxRunVolume = 10000;

inline bool Within(double v, double low, double high) {
  return v >= low && v <= high;  // false for NaN
}
inline bool IsPrice(double v) { return Within(v, kMinPrice, kMaxPrice); }
inline bool IsAmount(double v) { return Within(v, kMinAmount, kMaxAmount); }
inline bool IsRunVolume(double v) { return Within(v, kMinVolume, kMaxRunVolume); }

// A panel request's body, and the panel's `action` texts.
constexpr size_t kMaxPanelBody = 64 * 1024;
constexpr size_t kMaxActionName = 16;
// Client text quoted in a log line (a message's kind, an operation's
// name), and a whole log line.
constexpr size_t kLoggedKind = 20;
constexpr size_t kLoggedName = 40;
constexpr size_t kMaxLogLine = 400;

}  // namespace qxserver::limits
