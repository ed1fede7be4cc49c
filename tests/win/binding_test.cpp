// A client library that is missing or lacks entry points: the start goes on
// after its message, and no operation ever calls a missing entry point.
// Each suite runs in a process of its own with its own library (see
// CMakeLists.txt).
#include <gtest/gtest.h>

#include <cstring>

#include "host/KorvanDriver.h"
#include "sim/SimControl.h"
#include "tests/win/support.h"

namespace {

class Binding : public testing::Test {
 protected:
  void SetUp() override {
    EnterFreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveFile(IniPath());
    // A variant library preloaded: its own empty forecourt, in process (left
    // alone, it would look for a server).
    SimControl sim;
    if (LoadSimControl(GetModuleHandleA("QXClient.dll"), sim)) sim.SimReset();
    driver.IniciaGravacaoLog();
  }
  void TearDown() override {
    driver.ParaGravacaoLog();
    EXPECT_TRUE(driver.abiClean());
  }

  // Every operation that talks to the controller answers 0, without a
  // fault and without touching the host's buffers.
  void ExpectEveryOperationRefused() {
    char buffer[32] = "intact";
    KorvanDriver::Delivery delivery;
    std::memset(&delivery, 'X', sizeof delivery);
    EXPECT_FALSE(driver.ObtemAbastecimento(delivery));
    EXPECT_EQ(delivery.volume[0], 'X');
    EXPECT_FALSE(driver.ConfirmaAbastecimento());
    EXPECT_FALSE(driver.ObtemStatus(buffer));
    EXPECT_FALSE(driver.ObtemEncerrante("1", buffer));
    EXPECT_FALSE(driver.ObtemPreco("1", buffer));
    EXPECT_FALSE(driver.AlteraPreco("1", "1"));
    EXPECT_FALSE(driver.AutorizaAbastecimento("1"));
    EXPECT_FALSE(driver.BloqueiaBico("1"));
    EXPECT_FALSE(driver.DesbloqueiaBico("1"));
    EXPECT_FALSE(driver.BloqueiaTodosBicos());
    EXPECT_FALSE(driver.DesbloqueiaTodosBicos());
    EXPECT_STREQ(buffer, "intact");
  }

  KorvanDriver driver;
};

// No QXClient.dll anywhere the process looks.
using BindingMissing = Binding;

TEST_F(BindingMissing, StartFailsAfterTheMessageAndNothingFaults) {
  EXPECT_EQ(GetModuleHandleA("QXClient.dll"), nullptr);
  EXPECT_FALSE(driver.IniciaComunicacao("127.0.0.1", "", ""));
  auto lines = LogMessages();
  // Nothing between the settings and the failure line.
  EXPECT_TRUE(ContainsRun(lines, {"hMsg= 0", "Falhou >AUT_IniciaComunicacao<"}))
      << Join(lines);
  EXPECT_EQ(ReadFile(IniPath()), "");
  ExpectEveryOperationRefused();
  driver.FinalizaComunicacao();
  EXPECT_EQ(LogMessages().back(),
            "< AUT_FinalizaComunicacao > Falha ao desconectar do servidor");
}

// A library without GetPumpStatusEx, the last name: the binding is
// incomplete, yet every entry point the driver calls is there.
using BindingLackingLast = Binding;

TEST_F(BindingLackingLast, WorksWithEveryCalledEntryPoint) {
  ASSERT_NE(GetModuleHandleA("QXClient.dll"), nullptr);
  EXPECT_TRUE(driver.IniciaComunicacao("127.0.0.1", "", ""));
  EXPECT_FALSE(driver.BloqueiaBico("1")) << "the forecourt is empty";
  EXPECT_TRUE(driver.BloqueiaTodosBicos());
  driver.FinalizaComunicacao();
  EXPECT_EQ(LogMessages().back(), "|AUT_FinalizaComunicacao|");
}

// A library without TestConnection, the ninth name: the entry points before
// it are bound, it and all after it are not.
using BindingLackingNinth = Binding;

TEST_F(BindingLackingNinth, UsesOnlyTheEntryPointsBoundBeforeTheGap) {
  ASSERT_NE(GetModuleHandleA("QXClient.dll"), nullptr);
  // The logon itself is bound, the pump count after it is not.
  EXPECT_FALSE(driver.IniciaComunicacao("127.0.0.1", "", ""));
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"hMsg= 0", "Falhou >AUT_IniciaComunicacao<"}))
      << Join(lines);
  ExpectEveryOperationRefused();
  driver.FinalizaComunicacao();  // ClientLogoff comes before the gap
  EXPECT_EQ(LogMessages().back(), "|AUT_FinalizaComunicacao|");
}

}  // namespace
