#pragma once

#include <string>

class KorvanDriver;

struct DemoOptions {
  std::string scenario = "scenarios\\station.scenario";
  int seconds = 32;    // the bundled scenario plays for about 30 s
  int deliveries = 0;  // stop after this many confirmed; 0 = no limit
};

int RunStationDemo(KorvanDriver& driver, const DemoOptions& options);
