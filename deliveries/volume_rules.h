// Checks and re-engineering of a finished delivery's volume, applied to the
// texts just written for the host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/number_texts.h"

namespace korvan {

// Both return a fixed-point value: a count of ten-thousandths, or nothing
// when the count does not fit 64 bits (or the value is not finite).

// `value` rounded at the eleventh decimal (at the first when `decimals` is
// 0), then cut towards zero to `decimals` decimals (clamped to 0..10). Works
// on the shortest decimal text of the value, so 12.345 is 12.345 and not
// 12.3449999...
std::optional<int64_t> CutToDecimals(int16_t decimals, double value);
// The same of the value a text was made from, sparing the work the text
// already did.
std::optional<int64_t> CutToDecimals(int16_t decimals, const NumberText& value);

// `value` plus 0.09 of the last place, rounded to `decimals` decimals
// (clamped to 0..15) with ties to even: at three decimals 1.23442 gives 1.235.
std::optional<int64_t> RoundToDecimals(int16_t decimals, double value);

// Why `value` has no fixed-point count, for the log.
std::string OutOfFixedPointRange(double value);

// Invalid: a text does not read back, or a value lies beyond the fixed-point
// range; `error` says which, no line was written and `volume` is untouched.
enum class VolumeVerdict { Accept, Discard, Invalid };

// With `reengineer` on and an amount above 0, the volume becomes amount /
// unit price at three decimals, corrected so that it pays the amount;
// otherwise the controller's volume stands. Too small a volume is
// discarded. Writes the log lines and may rewrite `volume`. The texts are
// those just made from the controller's numbers: a text that reads back
// exactly is not read again.
VolumeVerdict ApplyVolumeRules(NumberText& volume, const NumberText& unitPrice,
                               const NumberText& amount, bool reengineer,
                               const RegionalSettings& settings, std::string& error);

}  // namespace korvan
