// What every operation shares at the boundary with the host: the regional
// settings read at load, and the host's texts in and out.
#pragma once

#include <string>
#include <string_view>

#include "base/number_texts.h"
#include "base/small_copy.h"

// Regional settings, read once when the driver is loaded.
const RegionalSettings& Settings();
void LoadSettings(const RegionalSettings& settings);

// Reads a host's text, without a copy; a null pointer is the empty text.
inline std::string_view HostText(const char* text) { return text ? text : ""; }

// Copies a text and its terminating zero into a host's buffer, whose size
// the host chose for the longest value.
inline void WriteHostText(char* buffer, std::string_view text) {
  if (text.size() <= 32)
    small_copy::CopyUpTo32(buffer, text.data(), text.size());
  else
    text.copy(buffer, text.size());
  buffer[text.size()] = '\0';
}
