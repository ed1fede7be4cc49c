// The few Windows services the simulator needs, behind plain C++ types.
// platform_win.cpp is the only source file of the model that sees Windows.
#pragma once

#include <cstdint>
#include <string>

namespace qxsim {

uint64_t MonotonicMilliseconds();
double LocalNowOleDate();  // local time, to the second
// The variable's value; empty when it is not set.
std::string EnvironmentText(const char* name);
// The folder of the simulator's own DLL, with a trailing backslash.
std::string OwnFolder();
bool FileExists(const std::string& path);
// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string& contents);
// A line for a debugger (OutputDebugString).
void DebugLine(const std::string& text);

}  // namespace qxsim
