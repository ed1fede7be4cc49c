// The driver's log. Every module writes its lines through here.
#pragma once

#include <cstdint>
#include <string_view>

// Writes one line when logging is on; never fails towards its caller.
// Defined by the Windows log writer (and by the native tests).
void WriteLog(std::string_view message);

// A client library result code: 0 is success and writes nothing; any other
// code writes "Error: <code>" and gives false.
bool CheckResult(int32_t code);
