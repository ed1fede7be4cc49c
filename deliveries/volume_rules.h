// Checks and re-engineering of a finished delivery's volume, applied to the
// texts just written for the host.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/number_texts.h"

// Both return a fixed-point value: a count of ten-thousandths, or nothing
// when the count does not fit 64 bits (or the value is not finite).

// Valor rounded at the eleventh decimal (at the first when Casas is 0), then
// cut towards zero to Casas decimals (clamped to 0..10). Works on the shortest
// decimal text of Valor, so 12.345 is 12.345 and not 12.3449999...
std::optional<int64_t> TruncaCasas(int16_t casas, double valor);
// The same of the value a text was made from, sparing the work the text
// already did.
std::optional<int64_t> TruncaCasas(int16_t casas, const FloatText& valor);

// Valor plus 0.09 of the last place, rounded to Casas decimals (clamped to
// 0..15) with ties to even: at three decimals 1.23442 gives 1.235.
std::optional<int64_t> ArredondaCasas(int16_t casas, double valor);

// Why `value` has no fixed-point count, for the log.
std::string OutOfFixedPointRange(double value);

// Invalid: a text does not read back, or a value lies beyond the fixed-point
// range; `error` says which, no line was written and `volume` is untouched.
enum class VolumeVerdict { Accept, Discard, Invalid };

// With the switch on and an amount above 0, the volume becomes amount / unit
// price at three decimals, corrected so that it pays the amount; otherwise the
// controller's volume stands. Too small a volume is discarded. Writes the log
// lines and may rewrite `volume`.
VolumeVerdict AjustaLitragem(std::string& volume, std::string_view precoUnitario, std::string_view valorTotal,
                             bool reengenhariaLitragem, const RegionalSettings& settings, std::string& error);
// The same on the texts just made from the controller's numbers: a text
// that reads back exactly is not read again.
VolumeVerdict AjustaLitragem(FloatText& volume, const FloatText& precoUnitario, const FloatText& valorTotal,
                             bool reengenhariaLitragem, const RegionalSettings& settings, std::string& error);
