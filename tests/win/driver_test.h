// What the driver's tests share beyond the station.
#pragma once

#include <functional>

#include "tests/common/fixture.h"

inline SimSession SessionOf(const SimControl& sim) {
  SimSession session{};
  sim.SimGetSession(&session);
  return session;
}

// `warm` rounds settle the allocators; `measured` more then commit under 2 MiB of private bytes.
inline void ExpectNoGrowth(const std::function<void(int)>& rounds, int warm, int measured) {
  rounds(warm);
  const Footprint before = MeasureFootprint();
  rounds(measured);
  const Footprint after = MeasureFootprint();
  EXPECT_LT(after.committedPrivateBytes, before.committedPrivateBytes + 2 * 1024 * 1024)
      << "committed private bytes " << before.committedPrivateBytes << " -> "
      << after.committedPrivateBytes;
}

// Runs `calls` in the host modes of `row`, then goes back to the test's own; the calls leave the
// host's modes as they found them.
inline bool InHostModes(const FloatModes::Row& row, const std::function<bool()>& calls) {
  const FloatModes own = FloatModes::Read(), host = own.With(row);
  host.Apply();
  const bool done = calls();
  const FloatModes after = FloatModes::Read();
  own.Apply();
  EXPECT_EQ(after.x87, host.x87) << "the host's x87 modes are back";
  EXPECT_EQ(after.sse & 0xFFC0, host.sse & 0xFFC0) << "the host's SSE modes are back";
  return done;
}
