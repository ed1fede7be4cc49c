// One status letter per pump, kept up to date from the controller's events.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "client/session.h"

namespace korvan {

// AUT_ObtemStatus: works through the events waiting now and writes the
// letters into `buffer`.
Result ReadPumpStatus(Session& session, char* buffer);

// At every logon: one "F" (no event yet) per pump the controller counts, or
// the empty text when it gives no count.
void ResetPumpStatus(Session& session, int32_t pumpCount);

}  // namespace korvan
