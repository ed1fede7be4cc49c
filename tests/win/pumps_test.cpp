// Pump status letters, totalizers and prices, authorisation and locking,
// against the simulated controller with a "," locale.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "tests/win/station.h"

namespace {

class Pumps : public Station {
 protected:
  void SetUp() override {
    Station::SetUp();
    AddPumps(3);  // pumps 101..103 (numbers 1..3), hoses 11..16
    ASSERT_TRUE(Start());
    sim.SimClearCalls();
  }

  std::string Status() {
    char status[64];
    std::memset(status, 'X', sizeof status);
    EXPECT_TRUE(driver.ObtemStatus(status));
    return status;
  }
  void PumpEvent(int pump, int state) {
    ASSERT_EQ(sim.SimQueuePumpEvent(pump, state), SIM_OK);
  }
  bool HasLine(const std::string& line) {
    auto lines = LogMessages();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

TEST_F(Pumps, EveryPumpReadsFaultAfterLogon) { EXPECT_EQ(Status(), "FFF"); }

TEST_F(Pumps, PumpEventsOverwriteTheirPumpsLetter) {
  for (int pump = 1; pump <= 3; ++pump) PumpEvent(pump, 4);
  EXPECT_EQ(Status(), "PPP");
  PumpEvent(2, 11);
  EXPECT_EQ(Status(), "PAP");
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"TrataStatusBomba - BICO_ABASTECENDO",
                                  ">AUT_ObtemStatus< Status = A",
                                  ">AUT_ObtemStatus< OK."}))
      << Join(lines);
}

TEST_F(Pumps, StatesOutsideTheTableAreFaults) {
  PumpEvent(1, 4);
  PumpEvent(2, 4);
  EXPECT_EQ(Status(), "PPF");
  PumpEvent(1, -1);
  PumpEvent(2, 16);
  EXPECT_EQ(Status(), "FFF");
}

TEST_F(Pumps, TheLaterEventOfAPumpWins) {
  PumpEvent(3, 8);
  PumpEvent(3, 3);
  EXPECT_EQ(Status(), "FFB");
}

TEST_F(Pumps, OtherEventsAreDiscarded) {
  PumpEvent(1, 7);
  sim.SimQueueOtherEvent(SIM_EVENT_DELIVERY);
  EXPECT_EQ(Status(), "EFF");
  EXPECT_EQ(CountCalls("DiscardNextEvent"), 1);
  EXPECT_TRUE(HasLine(">AUT_ObtemStatus< Não há evento da bomba no momento."));
  EXPECT_EQ(sim.SimEventCount(), 0);
}

TEST_F(Pumps, PumpsOutsideTheStatusTextAreSkipped) {
  for (int pump : {0, 4, -2}) PumpEvent(pump, 8);
  PumpEvent(1, 4);
  EXPECT_EQ(Status(), "PFF");
  EXPECT_TRUE(HasLine(">AUT_ObtemStatus< Bomba 4 fora de 1..3, evento ignorado."))
      << Join(LogMessages());
}

TEST_F(Pumps, NoConnectionMeansTwoLinesAndNoErrorLine) {
  sim.SimSetConnected(0);
  char status[8] = "intact";
  EXPECT_FALSE(driver.ObtemStatus(status));
  EXPECT_STREQ(status, "intact");
  auto lines = LogMessages();
  std::vector<std::string> last(lines.end() - 2, lines.end());
  EXPECT_EQ(last, (std::vector<std::string>{
                      "<AUT_ObtemStatus>",
                      ">AUT_ObtemStatus< Erro não está conectado ao servidor."}));
}

TEST_F(Pumps, AFailureMidwayKeepsTheLettersAlreadyRead) {
  const int states[] = {4, 8, 3, 7, 7};
  for (int i = 0; i < 5; ++i) PumpEvent(1 + i % 3, states[i]);
  sim.SimFailCall("GetNextPumpEventEx2", 3, 4);
  char status[8] = "intact";
  EXPECT_FALSE(driver.ObtemStatus(status));
  EXPECT_STREQ(status, "intact");
  EXPECT_TRUE(HasLine(">AUT_ObtemStatus< Falhou leitura do status da bomba."));
  // The third event is still waiting; the next call takes it and the rest.
  EXPECT_EQ(Status(), "EEB");
}

TEST_F(Pumps, AStormOfEventsFreesWhatItReceives) {
  driver.ParaGravacaoLog();
  auto storm = [&] {
    for (int i = 0; i < 10000; ++i) sim.SimQueuePumpEvent(1 + i % 3, 4 + i % 5);
    EXPECT_EQ(Status().size(), 3u);
    EXPECT_EQ(sim.SimEventCount(), 0);
    sim.SimClearCalls();  // the simulator's record is not the driver's memory
  };
  storm();  // warm up the allocators
  storm();
  const Footprint before = MeasureFootprint();
  for (int i = 0; i < 5; ++i) storm();
  const Footprint after = MeasureFootprint();
  ASSERT_GT(before.privateBytes, 0u) << "no memory figure to compare";
  // Five BSTRs per event: a leak would be megabytes per storm.
  EXPECT_LT(after.privateBytes, before.privateBytes + 1024 * 1024)
      << "private bytes " << before.privateBytes << " -> " << after.privateBytes;
}

TEST_F(Pumps, TotalizerAndPriceAreTheControllersNumbers) {
  SimHose hose{};
  hose.id = 77;
  hose.pumpId = 101;
  hose.totalizer = 123456.789;
  hose.price = 4;
  ASSERT_EQ(sim.SimAddHose(&hose), SIM_OK);
  char text[32];
  ASSERT_TRUE(driver.ObtemEncerrante("77", text));
  EXPECT_STREQ(text, "123456,789");
  ASSERT_TRUE(driver.ObtemPreco("77", text));
  EXPECT_STREQ(text, "4");
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"<AUT_ObtemPreco>", "<AUT_ObtemPreco> OK"}))
      << Join(lines);
}

TEST_F(Pumps, UnknownHoseFailsWithTheNumberAsPassed) {
  char text[32] = "intact";
  EXPECT_FALSE(driver.ObtemEncerrante("07", text));
  EXPECT_FALSE(driver.ObtemPreco("07", text));
  EXPECT_STREQ(text, "intact");
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"<AUT_ObtemEncerrante>",
                                  "Error: " + std::to_string(SIM_ERR_NOT_FOUND),
                                  "<AUT_ObtemEncerrante> Falha ao obter "
                                  "encerrante do bico 07"}))
      << Join(lines);
  EXPECT_EQ(lines.back(), "<AUT_ObtemPreco> Falha ao obter preço do bico: 07");
}

TEST_F(Pumps, PriceChangeGoesToTheHoseOfTheOrdinal) {
  ASSERT_TRUE(driver.AlteraPreco("3", "3,459"));
  EXPECT_EQ(CallsNamed("GetHoseByOrdinal").at(0).rfind("GetHoseByOrdinal(3", 0), 0u);
  EXPECT_EQ(CallsNamed("SetHosePrices"),
            std::vector<std::string>{"SetHosePrices(13,2,1,3.459,3.459)=0"});
  char text[32];
  ASSERT_TRUE(driver.ObtemPreco("13", text));
  EXPECT_STREQ(text, "3,459");
}

TEST_F(Pumps, APriceThatIsNotANumberMakesNoClientCall) {
  EXPECT_FALSE(driver.AlteraPreco("3", "3.459"));
  EXPECT_FALSE(driver.AlteraPreco("3", nullptr));
  EXPECT_FALSE(driver.AlteraPreco("x", "3,459"));
  EXPECT_EQ(sim.SimCallCount(), 0) << Join(Calls());
}

TEST_F(Pumps, AuthoriseByHoseIdLockByOrdinal) {
  ASSERT_TRUE(driver.AutorizaAbastecimento("13"));  // hose id 13: pump 102
  ASSERT_TRUE(driver.BloqueiaBico("5"));            // ordinal 5: hose 15, pump 103
  ASSERT_TRUE(driver.DesbloqueiaBico("6"));         // ordinal 6: hose 16, pump 103
  EXPECT_EQ(CallsNamed("Authorise"), std::vector<std::string>{"Authorise(102)=0"});
  EXPECT_EQ(CallsNamed("TempStop"), std::vector<std::string>{"TempStop(103)=0"});
  EXPECT_EQ(CallsNamed("ReAuthorise"),
            std::vector<std::string>{"ReAuthorise(103)=0"});
  EXPECT_TRUE(HasLine("<AUT_AutorizaAbastecimento> OK."));
  EXPECT_TRUE(HasLine("<AUT_BloqueiaBico> OK."));
  EXPECT_TRUE(HasLine("<AUT_DesbloqueiaBico> OK."));
  // "3" as a hose id is no hose here; as an ordinal it is hose 13.
  EXPECT_FALSE(driver.AutorizaAbastecimento("3"));
  EXPECT_EQ(LogMessages().back(),
            "<AUT_AutorizaAbastecimento> Falha ao obter dados da mangueira.");
  EXPECT_EQ(CountCalls("Authorise"), 1);
}

TEST_F(Pumps, ALostConnectionStopsALockBeforeAnythingElse) {
  sim.SimSetConnected(0);
  EXPECT_FALSE(driver.BloqueiaBico("not a number"));
  EXPECT_EQ(Calls(), std::vector<std::string>{
                         "TestConnection()=" + std::to_string(SIM_ERR_NOT_CONNECTED)});
  auto lines = LogMessages();
  std::vector<std::string> last(lines.end() - 3, lines.end());
  EXPECT_EQ(last, (std::vector<std::string>{
                      "<AUT_BloqueiaBico>",
                      "Error: " + std::to_string(SIM_ERR_NOT_CONNECTED),
                      "<AUT_BloqueiaBico> Falha ao Testar Conexão."}));
}

TEST_F(Pumps, FailedStepsEndTheOperation) {
  sim.SimFailCall("GetHoseByOrdinal", 1, 3);
  EXPECT_FALSE(driver.DesbloqueiaBico("1"));
  EXPECT_EQ(LogMessages().back(), "Erro ao obter dados GetHoseByOrdinal. ");
  sim.SimFailCall("TempStop", 1, 10);
  EXPECT_FALSE(driver.BloqueiaBico("1"));
  EXPECT_EQ(LogMessages().back(), "<AUT_BloqueiaBico> Falha ao bloquear bomba.");
  EXPECT_EQ(CountCalls("ReAuthorise"), 0);
}

TEST_F(Pumps, AllPumpsCommands) {
  ASSERT_TRUE(driver.BloqueiaTodosBicos());
  EXPECT_EQ(LogMessages().back(), "OK >AUT_BloqueiaTodosBicos<");
  ASSERT_TRUE(driver.DesbloqueiaTodosBicos());
  EXPECT_EQ(LogMessages().back(), "OK >AUT_DesbloqueiaTodosBicos<");

  sim.SimFailCall("AllStop", 1, 5);
  EXPECT_FALSE(driver.BloqueiaTodosBicos());
  auto lines = LogMessages();
  std::vector<std::string> last(lines.end() - 3, lines.end());
  EXPECT_EQ(last, (std::vector<std::string>{
                      "<AUT_BloqueiaTodosBicos>", "Error: 5",
                      "Erro ao parar todas as bombas, verifique no LOG."}));
  // With the connection lost the command is still sent; its code decides.
  sim.SimSetConnected(0);
  sim.SimClearCalls();
  EXPECT_FALSE(driver.DesbloqueiaTodosBicos());
  EXPECT_EQ(CountCalls("AllReAuthorise"), 1);
  EXPECT_EQ(LogMessages().back(),
            "Erro ao desbloquear todas as bombas, verifique no LOG.");
}

}  // namespace
