// A hose's properties as the controller reports them.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "client/session.h"

namespace korvan {

struct HoseProperties {
  int32_t pumpId{};
  double totalizer{};
  double price{};
};

// Reads the properties of the hose with identifier `hoseId`.
Result ReadHose(const Session& session, int32_t hoseId, HoseProperties& hose);

}  // namespace korvan
