// Client text made fit for a log line. The log goes to stderr and, as
// JSON, to every panel: a byte that is not UTF-8 would make the panel's
// JSON fail, a newline would forge a line of its own.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qxserver {

// `text` as valid UTF-8 (a byte that does not belong to a character becomes
// U+FFFD) without control or direction-changing characters, at most
// `maxBytes` bytes, cut on a character boundary and marked with "…" when
// it was longer.
std::string CleanText(std::string_view text, size_t maxBytes);

}  // namespace qxserver
