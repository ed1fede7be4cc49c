#include "base/boundary.h"

namespace {
RegionalSettings settings;
}  // namespace

const RegionalSettings& Settings() { return settings; }

void LoadSettings(const RegionalSettings& loaded) { settings = loaded; }
