// A client library that is missing or lacks entry points: the start goes on
// after its message, and no operation ever calls a missing entry point.
// Each suite runs in a process of its own with its own library (see
// CMakeLists.txt).
#include "tests/common/fixture.h"

namespace {

class Binding : public Station {
 protected:
  // A failed start: nothing between the settings and the failure line.
  void ExpectFailedStart() {
    EXPECT_FALSE(Start());
    EXPECT_EQ(TakeMessageBoxes(), std::vector<std::string>{"Erro carregando QXClient.dll"});
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
  EXPECT_EQ(TakeMessageBoxes(), std::vector<std::string>{"Erro carregando QXClient.dll"});
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
