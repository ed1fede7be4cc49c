// The tests' own WriteLog: it records every line; the record is emptied as each test starts.
#pragma once

#include <string>
#include <vector>

// The lines written since the test started (or since the last call), oldest first.
std::vector<std::string> TakeLogLines();
