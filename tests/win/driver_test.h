// What the driver's tests share beyond the station.
#pragma once

#include <functional>

#include "tests/common/fixture.h"

// Log lines or client calls, oldest first.
using Lines = std::vector<std::string>;

inline SimSession SessionOf(const SimControl& sim) {
  SimSession session{};
  sim.SimGetSession(&session);
  return session;
}

// A batch of `warm` rounds settles the allocators; `measured` more rounds then commit less than 2
// MiB of private bytes.
inline void ExpectNoGrowth(const std::function<void(int)>& rounds, int warm, int measured) {
  rounds(warm);
  const Footprint before = MeasureFootprint();
  rounds(measured);
  const Footprint after = MeasureFootprint();
  EXPECT_LT(after.committedPrivateBytes, before.committedPrivateBytes + 2 * 1024 * 1024)
      << "committed private bytes " << before.committedPrivateBytes << " -> "
      << after.committedPrivateBytes;
}

// `lines` holds `run` contiguously; a failure prints both.
inline testing::AssertionResult HasRun(const Lines& lines, const Lines& run) {
  if (ContainsRun(lines, run)) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "wanted the run\n" << Join(run) << "\nin\n" << Join(lines);
}
