#pragma once

#include <string>

class KorvanDriver;

struct ConsoleOptions {
  std::string scenario;  // full path, loaded into the simulator; empty: none
};

// Reads commands from standard input and calls the driver for each.
int RunConsole(KorvanDriver& driver, const ConsoleOptions& options);
