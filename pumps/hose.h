// A hose's properties as the controller reports them.
#pragma once

#include <cstdint>
#include <string>

struct HoseProperties {
  int32_t pumpId = 0;
  double totalizer = 0;
  double price = 0;
};

// Reads the hose's properties; false when the controller refused, or with
// `error` set when the entry point is missing.
bool ReadHose(int32_t hoseId, HoseProperties& hose, std::string& error);
