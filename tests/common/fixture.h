// The one test fixture: a freshly reset simulated controller (when there is
// one), the driver as a host loads it, a fresh working folder without
// _Korvan.ini, logging on.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "host/KorvanDriver.h"
#include "tests/common/station.h"

class Station : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(driver.loaded());
    // Absent only where a test runs without a client library.
    if (LoadSimControl(LoadLibraryA("QXClient.dll"), sim)) sim.SimReset();
    EnterFreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveFile(IniPath());
    driver.IniciaGravacaoLog();
  }
  void TearDown() override {
    driver.ParaGravacaoLog();
    EXPECT_TRUE(driver.abiClean()) << "a call unbalanced the stack or registers";
  }

  bool Start(const char* configuracao = "") {
    return driver.IniciaComunicacao("127.0.0.1", "", configuracao);
  }
  std::vector<std::string> CallsNamed(const char* name) const { return Calls(sim, name); }
  std::string LastLine() const {
    const auto lines = LogMessages();
    return lines.empty() ? "<no line>" : lines.back();
  }
  // The last n log lines.
  std::vector<std::string> LastLines(size_t n) const {
    const auto lines = LogMessages();
    return {lines.end() - std::min(n, lines.size()), lines.end()};
  }

  KorvanDriver driver;
  SimControl sim;
};
