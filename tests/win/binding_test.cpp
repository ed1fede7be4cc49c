// A client library that is missing or lacks entry points: the start goes on
// after its message, and no operation ever calls a missing entry point.
// Each suite runs in a process of its own with its own library (see
// CMakeLists.txt).
#include <cstring>

#include "tests/common/fixture.h"

namespace {

class Binding : public Station {
 protected:
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
  // A failed start: nothing between the settings and the failure line.
  void ExpectFailedStart() {
    EXPECT_FALSE(Start());
    EXPECT_TRUE(ContainsRun(LogMessages(), {"hMsg= 0", "Falhou >AUT_IniciaComunicacao<"}))
        << Join(LogMessages());
    EXPECT_EQ(ReadFile(IniPath()), "");
  }
};

// No QXClient.dll anywhere the process looks.
using BindingMissing = Binding;

TEST_F(BindingMissing, StartFailsAfterTheMessageAndNothingFaults) {
  EXPECT_EQ(GetModuleHandleA("QXClient.dll"), nullptr);
  ExpectFailedStart();
  ExpectEveryOperationRefused();
  driver.FinalizaComunicacao();
  EXPECT_EQ(LastLine(), "< AUT_FinalizaComunicacao > Falha ao desconectar do servidor");
}

// Without GetPumpStatusEx, the last name, the binding is incomplete, yet
// every entry point the driver calls is there.
using BindingLackingLast = Binding;

TEST_F(BindingLackingLast, WorksWithEveryCalledEntryPoint) {
  ASSERT_NE(sim.SimReset, nullptr);
  AddPumps(sim, 1);
  EXPECT_TRUE(Start());
  EXPECT_TRUE(driver.BloqueiaBico("1"));
  driver.FinalizaComunicacao();
  EXPECT_EQ(LastLine(), "|AUT_FinalizaComunicacao|");
}

// Without TestConnection, the ninth name, the entry points before it are
// bound (the logon and logoff among them), it and all after it are not.
using BindingLackingNinth = Binding;

TEST_F(BindingLackingNinth, UsesOnlyTheEntryPointsBoundBeforeTheGap) {
  ASSERT_NE(sim.SimReset, nullptr);
  ExpectFailedStart();  // GetPumpsCount comes after the gap
  EXPECT_EQ(sim.SimCountCalls("ClientLogonEx"), 1);
  ExpectEveryOperationRefused();
  driver.FinalizaComunicacao();
  EXPECT_EQ(LastLine(), "|AUT_FinalizaComunicacao|");
}

}  // namespace
