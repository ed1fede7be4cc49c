#include "driver/uKorvan.h"

#include "client/TQXClient.h"

namespace {
DriverState state;
RegionalSettings settings;
}  // namespace

DriverState& Driver() { return state; }

const RegionalSettings& Settings() { return settings; }

void LoadSettings(const RegionalSettings& loaded) { settings = loaded; }

void WriteHostText(char* buffer, std::string_view text) {
  text.copy(buffer, text.size());
  buffer[text.size()] = '\0';
}
