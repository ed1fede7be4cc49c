#include "base/boundary.h"

namespace {
RegionalSettings settings;
}  // namespace

const RegionalSettings& Settings() { return settings; }

void LoadSettings(const RegionalSettings& loaded) { settings = loaded; }

void WriteHostText(char* buffer, std::string_view text) {
  text.copy(buffer, text.size());
  buffer[text.size()] = '\0';
}
