// Pump states as the one letter per pump that the host reads.
#pragma once

#include <cstdint>
#include <string>

namespace korvan {

// F (failure, also any unknown state), B (locked), P (ready), E (asking for
// authorisation) or A (delivering); logs "TrataStatusBomba - <name>".
char StatusLetter(int16_t state);

// Stores the letter at 1-based pumpNumber; returns false (and changes
// nothing) when pumpNumber is outside 1..status.size().
bool StorePumpLetter(std::string& status, int pumpNumber, char letter);

}  // namespace korvan
