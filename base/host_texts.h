// The host's texts in and out of the exports.
#pragma once

#include <cstring>
#include <string_view>

namespace korvan {

// Reads a host's text, without a copy; a null pointer is the empty text.
inline std::string_view HostText(const char* text) { return text ? text : ""; }

// Copies a text and its terminating zero into a host's buffer, whose size
// the host chose for the longest value.
inline void WriteHostText(char* buffer, std::string_view text) {
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
}

}  // namespace korvan
