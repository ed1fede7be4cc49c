// A client library that is missing or lacks entry points: the start goes on after its message, and
// no operation ever calls a missing entry point. Each suite runs in a process of its own with its
// own library (see CMakeLists.txt).
#include "tests/win/driver_test.h"

namespace {

class Binding : public Station {
 protected:
  // A failed start: the binding's failure right after the entry line, and nothing between the
  // settings and the failure line.
  void ExpectFailedStart(const std::string& failure) {
    EXPECT_FALSE(Start());
    EXPECT_EQ(TakeMessageBoxes(), Lines{"Erro carregando QXClient.dll"});
    EXPECT_TRUE(HasRun(LogMessages(), {"<AUT_IniciaComunicacao>", failure}));
    EXPECT_TRUE(HasRun(LogMessages(), {"hMsg= 0", "Falhou >AUT_IniciaComunicacao<"}));
    EXPECT_EQ(ReadFile(IniPath()), "");
  }
  // "Erro carregando QXClient.dll: <this program's folder>QXClient.dll não tem <name>".
  static std::string Lacking(const char* folder, const char* name) {
    return "Erro carregando QXClient.dll: " + ExeFolder() + folder + "QXClient.dll não tem " + name;
  }
  static std::string NotLoaded(const char* error) {
    return "Erro carregando QXClient.dll: erro " + std::string(error) +
           " do Windows ao procurar na pasta do programa (" + ExeFolder() +
           ") e no caminho de busca: ";
  }
};

// No QXClient.dll anywhere the process looks.
using BindingMissing = Binding;

TEST_F(BindingMissing, StartFailsAfterTheMessageAndNothingFaults) {
  EXPECT_EQ(GetModuleHandleA("QXClient.dll"), nullptr);
  ExpectFailedStart(NotLoaded("126") + "arquivo não encontrado");
  ExpectEveryOperationRefused();
  driver.FinalizaComunicacao();
  EXPECT_EQ(LastLine(), "< AUT_FinalizaComunicacao > Falha ao desconectar do servidor");
}

// Without GetPumpStatusEx, the last name, the binding is incomplete, yet every entry point the
// driver calls is there.
using BindingLackingLast = Binding;

TEST_F(BindingLackingLast, WorksWithEveryCalledEntryPoint) {
  ASSERT_NE(sim.SimReset, nullptr);
  AddPumps(sim, 1);
  EXPECT_TRUE(Start());
  EXPECT_EQ(TakeMessageBoxes(), Lines{"Erro carregando QXClient.dll"});
  EXPECT_TRUE(HasRun(LogMessages(), {"<AUT_IniciaComunicacao>",
                                     Lacking("client-lacking-last\\", "GetPumpStatusEx")}));
  EXPECT_TRUE(driver.BloqueiaBico("1"));
  driver.FinalizaComunicacao();
  EXPECT_EQ(LastLine(), "|AUT_FinalizaComunicacao|");
}

// Without TestConnection, the ninth name, the entry points before it are bound (the logon and
// logoff among them), it and all after it are not.
using BindingLackingNinth = Binding;

TEST_F(BindingLackingNinth, UsesOnlyTheEntryPointsBoundBeforeTheGap) {
  ASSERT_NE(sim.SimReset, nullptr);
  // GetPumpsCount comes after the gap.
  ExpectFailedStart(Lacking("client-lacking-ninth\\", "TestConnection"));
  EXPECT_EQ(sim.SimCountCalls("ClientLogonEx"), 1);
  ExpectEveryOperationRefused();
  driver.FinalizaComunicacao();
  EXPECT_EQ(LastLine(), "|AUT_FinalizaComunicacao|");
}

// A 64-bit QXClient.dll beside a 32-bit host, or the other way round.
using BindingOtherArchitecture = Binding;

TEST_F(BindingOtherArchitecture, TheLogNamesTheArchitecture) {
  const std::string bits = std::to_string(8 * sizeof(void*));
  ExpectFailedStart(NotLoaded("193") + "arquitetura errada (a DLL deve ser de " + bits +
                    " bits, como o programa)");
  ExpectEveryOperationRefused();
}

}  // namespace
