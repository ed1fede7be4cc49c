// Switching the log on and off; the lines themselves go through WriteLog.
#pragma once

namespace korvan {

// The time separator of the lines' time stamps: the regional one, given at
// load.
void SetLogTimeSeparator(char separator);
void StartLogging();
void StopLogging();

}  // namespace korvan
