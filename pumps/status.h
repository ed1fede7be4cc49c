// One status letter per pump, kept up to date from the controller's events.
#pragma once

#include <cstdint>

bool ObtemStatus(char* buffer);

// At every logon: one "F" (no event yet) per pump the controller counts, or
// the empty text when it gives no count.
void ResetStatusBombas(int32_t pumpCount);
