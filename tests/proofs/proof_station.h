// What the reliability programs share: the simulator's control exports, a
// small station, and the process's own footprint.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim/SimControl.h"
#include "tests/win/support.h"

// The simulator beside the program, or exits.
inline SimControl LoadSimulator() {
  SimControl sim;
  if (!LoadSimControl(LoadLibraryA("QXClient.dll"), sim)) {
    std::fprintf(stderr, "QXClient.dll beside the program is not the simulator\n");
    std::exit(2);
  }
  sim.SimReset();
  return sim;
}

// Pumps 1..pumps (ids 101..), two hoses each with ids 11, 12, ... in order.
inline void AddStation(const SimControl& sim, int pumps) {
  for (int p = 1; p <= pumps; ++p) {
    SimPump pump{};
    pump.id = 100 + p;
    pump.number = p;
    pump.state = SIM_PUMP_IDLE;
    sim.SimAddPump(&pump);
    for (int h = 0; h < 2; ++h) {
      SimHose hose{};
      hose.id = 11 + 2 * (p - 1) + h;
      hose.pumpId = pump.id;
      hose.price = 5.799;
      hose.totalizer = 1000;
      sim.SimAddHose(&hose);
    }
  }
}

// "--name value" from the command line, or the fallback.
inline long long Option(int argc, char** argv, const char* name, long long fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == name) return std::atoll(argv[i + 1]);
  return fallback;
}
