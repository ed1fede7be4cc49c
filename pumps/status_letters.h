// Pump states as the one letter per pump that the host reads.
#pragma once

#include <cstdint>
#include <string>

namespace korvan {

// F (failure, also any unknown state), B (locked), P (ready), E (asking for
// authorisation) or A (delivering); logs "TrataStatusBomba - <name>".
char StatusLetter(int16_t state);

// The most pumps the status text holds: a pump event names its pump with a
// 16-bit number, so no later letter could ever change, and the host needs a
// buffer size it can rely on (korvan.h: KORVAN_STATUS_SIZE_MAX).
constexpr int32_t kMostPumps = 32767;

// The length of the status text for the controller's pump count: the count,
// 0 for none or a negative one, at most kMostPumps.
size_t StatusLength(int32_t pumpCount);

// Stores the letter at 1-based pumpNumber; returns false (and changes
// nothing) when pumpNumber is outside 1..status.size().
bool StorePumpLetter(std::string& status, int pumpNumber, char letter);

}  // namespace korvan
