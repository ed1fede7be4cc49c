// Pump status letters, totalizers and prices, authorisation and locking, against the simulated
// controller with a "," locale.
#include <cstring>
#include <functional>
#include <string>
#include <tuple>

#include "tests/win/driver_test.h"

namespace {

class Pumps : public Station {
 protected:
  void SetUp() override {
    Station::SetUp();
    AddPumps(sim, 3);  // pumps 101..103 (numbers 1..3), hoses 11..16
    ASSERT_TRUE(Start());
    sim.SimClearCalls();
  }
  void Events(std::initializer_list<std::pair<int, int>> events) {
    for (auto [pump, state] : events) sim.SimQueuePumpEvent(pump, state);
  }
};

TEST_F(Pumps, PumpEventsSetTheLetterOfTheirPump) {
  const struct {
    const char *name, *status;
    std::initializer_list<std::pair<int, int>> events;
  } rows[] = {
      {"after logon", "FFF", {}},
      {"ready", "PPP", {{1, 4}, {2, 5}, {3, 6}}},
      {"one delivering", "PAP", {{2, 11}}},
      {"outside the table", "FAF", {{1, -1}, {3, 16}}},
      {"the later event wins", "FAB", {{3, 8}, {3, 3}}},
      {"other pumps skipped", "EAB", {{0, 8}, {4, 8}, {-2, 8}, {1, 7}}},
      {"each letter", "PBA", {{1, 13}, {2, 9}, {3, 12}}},
      {"again", "BEF", {{1, 14}, {2, 10}, {3, 15}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Events(row.events);
    EXPECT_EQ(Status(), row.status);
  }
  EXPECT_TRUE(HasRun(LogMessages(), {"TrataStatusBomba - FALHA_NO_BICO",
                                     ">AUT_ObtemStatus< Status = F", ">AUT_ObtemStatus< OK."}));
  EXPECT_TRUE(HasRun(LogMessages(), {">AUT_ObtemStatus< Bomba 4 fora de 1..3, evento ignorado."}));
}

// The smallest forecourt, none at all, and ones past the short copy of a host text and a byte's
// pump numbers: one letter per pump; the last pump's event lands, the one after it is ignored.
TEST_F(Pumps, OneLetterPerPumpTheControllerCounts) {
  for (int pumps : {1, 0, 33, 300}) {
    SCOPED_TRACE(std::to_string(pumps) + " pumps");
    sim.SimReset();
    AddPumps(sim, pumps, 1);
    ASSERT_TRUE(Start());
    Events({{pumps, 8}, {pumps + 1, 4}});
    EXPECT_EQ(Status(), pumps ? std::string(pumps - 1, 'F') + "A" : "");
    EXPECT_TRUE(
        HasRun(LastLines(4), {">AUT_ObtemStatus< Bomba " + std::to_string(pumps + 1) +
                              " fora de 1.." + std::to_string(pumps) + ", evento ignorado."}));
  }
}

// Only the type's first byte tells a pump event from the others.
TEST_F(Pumps, OtherEventsAreDiscarded) {
  Events({{1, 7}});
  for (int type : {int(SIM_EVENT_DELIVERY), 0x100 + SIM_EVENT_DELIVERY, 0x100})
    sim.SimQueueOtherEvent(type);
  EXPECT_EQ(Status(), "EFF");
  EXPECT_EQ(sim.SimCountCalls("DiscardNextEvent"), 3);
  EXPECT_EQ(sim.SimEventCount(), 0);
  EXPECT_EQ(LastLines(2), Lines({">AUT_ObtemStatus< Não há evento da bomba no momento.",
                                 ">AUT_ObtemStatus< OK."}));
  sim.SimQueueOtherEvent(0x100 + SIM_EVENT_PUMP);
  sim.SimClearCalls();
  char status[8] = "intact";
  EXPECT_FALSE(driver.ObtemStatus(status));
  EXPECT_EQ(Calls(sim, "GetNextPumpEventEx2"), Lines{"GetNextPumpEventEx2()=9"});
}

// The five texts that come with every pump event are freed: thirty thousand events' texts would
// hold some megabytes. The same batch warms up the simulator's queue first.
TEST_F(Pumps, PumpEventsHoldNoMemory) {
  driver.ParaGravacaoLog();
  sim.SimSetRecording(0);
  const auto events = [&](int count) {
    for (int i = 0; i < count; ++i) sim.SimQueuePumpEvent(1 + i % 3, 4 + i % 9);
    EXPECT_EQ(Status().size(), 3u);
  };
  ExpectNoGrowth(events, 30000, 30000);
  sim.SimSetRecording(1);
}

TEST_F(Pumps, AFailureMidwayKeepsTheLettersAlreadyRead) {
  Events({{1, 4}, {2, 8}, {3, 3}, {1, 7}, {2, 7}});
  sim.SimFailCall("GetNextPumpEventEx2", 3, 4);
  char status[8] = "intact";
  EXPECT_FALSE(driver.ObtemStatus(status));
  EXPECT_STREQ(status, "intact");
  EXPECT_EQ(Status(), "EEB") << "the third event and the rest come next";
}

TEST_F(Pumps, TotalizerAndPriceAreTheControllersNumbers) {
  AddHose(sim, 77, 1, 4, 123456.789);
  char text[32];
  ASSERT_TRUE(driver.ObtemEncerrante("77", text));
  EXPECT_STREQ(text, "123456,789");
  EXPECT_EQ(LastLines(2), Lines({"<AUT_ObtemEncerrante>", "<AUT_ObtemEncerrante> OK"}));
  ASSERT_TRUE(driver.ObtemPreco("77", text));
  EXPECT_STREQ(text, "4");
  EXPECT_EQ(LastLines(2), Lines({"<AUT_ObtemPreco>", "<AUT_ObtemPreco> OK"}));
}

// A host may compute in another rounding mode or x87 precision, with exceptions unmasked or
// subnormals flushed: every operation that converts a number gives the texts of the default modes,
// and the host gets its modes back.
TEST_F(Pumps, TextsDoNotFollowTheHostsFloatingPointModes) {
  AddHose(sim, 70, 1, 5.799, 123456.789);
  AddHose(sim, 71, 1, 0.1 + 0.2, 1e-310);
  for (const FloatModes::Row& row : FloatModes::Rows()) {
    SCOPED_TRACE(row.Name());
    char texts[4][32] = {};
    sim.SimClearCalls();
    EXPECT_TRUE(InHostModes(row, [&] {
      return driver.ObtemPreco("70", texts[0]) && driver.ObtemPreco("71", texts[1]) &&
             driver.ObtemEncerrante("70", texts[2]) && driver.ObtemEncerrante("71", texts[3]) &&
             driver.AlteraPreco("3", "3,459");
    }));
    EXPECT_EQ(Lines(texts, texts + 4),
              Lines({"5,799", "0,3", "123456,789", "9,99999999999997E-311"}));
    EXPECT_EQ(Calls(sim, "SetHosePrices"), Lines{"SetHosePrices(13,2,1,3.459,3.459)=0"});
  }
}

TEST_F(Pumps, PriceChangeGoesToTheHoseOfTheOrdinal) {
  ASSERT_TRUE(driver.AlteraPreco("3", "3,459"));
  EXPECT_EQ(Calls(sim), Lines({"GetHoseByOrdinal(3)=0", "SetHosePrices(13,2,1,3.459,3.459)=0"}));
  EXPECT_EQ(LastLines(2), Lines({"<AUT_AlteraPreco>", "<AUT_AlteraPreco> OK"}));
  char text[32];
  ASSERT_TRUE(driver.ObtemPreco("13", text));
  EXPECT_STREQ(text, "3,459");
  sim.SimClearCalls();
  EXPECT_FALSE(driver.AlteraPreco("3", "3.459"));
  EXPECT_FALSE(driver.AlteraPreco("3", nullptr));
  EXPECT_FALSE(driver.AlteraPreco("x", "3,459"));
  EXPECT_EQ(sim.SimCallCount(), 0) << Join(Calls(sim));
}

TEST_F(Pumps, AuthoriseByHoseIdLockByOrdinal) {
  ASSERT_TRUE(driver.AutorizaAbastecimento("13"));  // hose id 13: pump 102
  EXPECT_EQ(LastLine(), "<AUT_AutorizaAbastecimento> OK.");
  ASSERT_TRUE(driver.BloqueiaBico("5"));  // ordinal 5: hose 15, pump 103
  EXPECT_EQ(LastLine(), "<AUT_BloqueiaBico> OK.");
  ASSERT_TRUE(driver.DesbloqueiaBico("6"));  // ordinal 6: hose 16, pump 103
  EXPECT_EQ(LastLine(), "<AUT_DesbloqueiaBico> OK.");
  ASSERT_TRUE(driver.BloqueiaTodosBicos());
  EXPECT_EQ(LastLine(), "OK >AUT_BloqueiaTodosBicos<");
  ASSERT_TRUE(driver.DesbloqueiaTodosBicos());
  EXPECT_EQ(LastLine(), "OK >AUT_DesbloqueiaTodosBicos<");
  EXPECT_EQ(Calls(sim),
            Lines({"TestConnection()=0", "GetHosePropertiesEx2(13)=0", "Authorise(102)=0",
                   "TestConnection()=0", "GetHoseByOrdinal(5)=0", "GetHosePropertiesEx2(15)=0",
                   "TempStop(103)=0", "TestConnection()=0", "GetHoseByOrdinal(6)=0",
                   "GetHosePropertiesEx2(16)=0", "ReAuthorise(103)=0", "AllStop()=0",
                   "AllReAuthorise()=0"}));
}

// Each failing client call: result 0, the "Error: " line, the operation's own line, and no further
// client call. The all-pumps commands go out without a connection test.
TEST_F(Pumps, EachFailureHasItsLineAndEndsTheOperation) {
  using Call = std::function<bool(KorvanDriver&)>;
  char out[32];
  const Call status = [&](KorvanDriver& d) { return d.ObtemStatus(out); };
  const Call price = [](KorvanDriver& d) { return d.AlteraPreco("2", "4,5"); };
  const Call authorise = [](KorvanDriver& d) { return d.AutorizaAbastecimento("12"); };
  const Call lock = [](KorvanDriver& d) { return d.BloqueiaBico("2"); };
  const Call unlock = [](KorvanDriver& d) { return d.DesbloqueiaBico("2"); };
  const std::tuple<const char*, Call, const char*> rows[] = {
      {"ProcessEvents", status, ">AUT_ObtemStatus< Erro ao iniciar processamento de eventos."},
      {"GetEventsCount", status, ">AUT_ObtemStatus< Erro não há eventos disponiveis."},
      {"GetNextEventType", status, ">AUT_ObtemStatus< Erro leitura do próximo evento."},
      {"GetNextPumpEventEx2", status, ">AUT_ObtemStatus< Falhou leitura do status da bomba."},
      {"GetHoseByOrdinal", price, "Erro ao buscar dados GetHoseByOrdinal. "},
      {"SetHosePrices", price, "<AUT_AlteraPreco> Falha na alteração de preço da bomba."},
      {"GetHosePropertiesEx2", [&](KorvanDriver& d) { return d.ObtemEncerrante("011", out); },
       "<AUT_ObtemEncerrante> Falha ao obter encerrante do bico 011"},
      {"GetHosePropertiesEx2", [&](KorvanDriver& d) { return d.ObtemPreco("011", out); },
       "<AUT_ObtemPreco> Falha ao obter preço do bico: 011"},
      {"TestConnection", [](KorvanDriver& d) { return d.AutorizaAbastecimento("x"); },
       "<AUT_AutorizaAbastecimento> Falha ao Testar Conexão."},
      {"GetHosePropertiesEx2", authorise,
       "<AUT_AutorizaAbastecimento> Falha ao obter dados da mangueira."},
      {"Authorise", authorise,
       "<AUT_AutorizaAbastecimento> Falha ao mandar autorização para bomba."},
      {"TestConnection", [](KorvanDriver& d) { return d.BloqueiaBico("x"); },
       "<AUT_BloqueiaBico> Falha ao Testar Conexão."},
      {"GetHoseByOrdinal", lock, "<AUT_BloqueiaBico> Falha ao obter dados GetHoseByOrdinal."},
      {"GetHosePropertiesEx2", lock, "<AUT_BloqueiaBico> Falha ao obter dados da mangueira."},
      {"TempStop", lock, "<AUT_BloqueiaBico> Falha ao bloquear bomba."},
      {"TestConnection", [](KorvanDriver& d) { return d.DesbloqueiaBico("x"); },
       "<AUT_DesbloqueiaBico> Falha ao Testar Conexão."},
      {"GetHoseByOrdinal", unlock, "Erro ao obter dados GetHoseByOrdinal. "},
      {"GetHosePropertiesEx2", unlock, "<AUT_DesbloqueiaBico> Falha ao obter dados da mangueira."},
      {"ReAuthorise", unlock, "<AUT_DesbloqueiaBico> Falha ao desbloquear bomba."},
      {"AllStop", [](KorvanDriver& d) { return d.BloqueiaTodosBicos(); },
       "Erro ao parar todas as bombas, verifique no LOG."},
      {"AllReAuthorise", [](KorvanDriver& d) { return d.DesbloqueiaTodosBicos(); },
       "Erro ao desbloquear todas as bombas, verifique no LOG."},
  };
  for (const auto& [entry, call, line] : rows) {
    for (const std::string code : {"9", "-9"}) {  // any code but 0 is a failure
      SCOPED_TRACE(std::string(entry) + " failing with " + code + ": " + line);
      sim.SimQueuePumpEvent(1, 8);
      sim.SimClearCalls();
      sim.SimFailCall(entry, 1, std::stoi(code));
      std::strcpy(out, "intact");
      EXPECT_FALSE(call(driver));
      EXPECT_STREQ(out, "intact");
      EXPECT_EQ(LastLines(2), Lines({"Error: " + code, line}));
      const auto calls = Calls(sim);
      const std::string last = calls.empty() ? "none()=0" : calls.back();
      EXPECT_EQ(last.substr(0, last.find('(')) + last.substr(last.rfind('=')),
                std::string(entry) + "=" + code)
          << "the failed call comes last:\n"
          << Join(calls);
      sim.SimClearFaults();
    }
  }
}

// Any code but 0 from the connection test, a negative one too.
TEST_F(Pumps, StatusWithoutConnectionHasNoErrorLine) {
  sim.SimFailCall("TestConnection", 1, -1);
  char status[8] = "intact";
  EXPECT_FALSE(driver.ObtemStatus(status));
  sim.SimSetConnected(0);
  EXPECT_FALSE(driver.ObtemStatus(status));
  EXPECT_STREQ(status, "intact");
  EXPECT_EQ(LastLines(5),
            Lines({"OK >AUT_IniciaComunicacao<", "<AUT_ObtemStatus>",
                   ">AUT_ObtemStatus< Erro não está conectado ao servidor.", "<AUT_ObtemStatus>",
                   ">AUT_ObtemStatus< Erro não está conectado ao servidor."}));
  // The all-pumps commands make their call all the same; its code decides.
  sim.SimClearCalls();
  EXPECT_FALSE(driver.DesbloqueiaTodosBicos());
  EXPECT_EQ(Calls(sim), Lines{"AllReAuthorise()=1"});
}

}  // namespace
