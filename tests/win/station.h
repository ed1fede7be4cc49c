// A driver working against the simulated controller: the fixture of the
// tests that need a forecourt.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/KorvanDriver.h"
#include "sim/SimControl.h"
#include "tests/win/support.h"

class Station : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Pumps 1..n (ids 101..), each with hoses whose identifiers differ from
  // their ordinals: hose ordinal k has id 10 + k.
  void AddPumps(int pumps, int hosesPerPump = 2);
  bool Start(const char* configuracao = "");
  void AddDelivery(const SimDelivery& delivery);

  // The simulator's record of client calls, one text per call.
  std::vector<std::string> Calls() const;
  int CountCalls(const char* name) const { return sim.SimCountCalls(name); }
  std::vector<std::string> CallsNamed(const char* name) const;
  SimSession ControllerSession() const;

  KorvanDriver driver;
  SimControl sim;
};

// The hose id of ordinal k in AddPumps' forecourt.
inline int HoseIdOfOrdinal(int ordinal) { return 10 + ordinal; }
