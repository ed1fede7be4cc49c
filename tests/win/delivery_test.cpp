// Deliveries from the controller's list to the host's records: hand-over, confirmation, the rules
// that discard or leave a delivery, reconnection. Runs once with a day-first "," locale and once
// with a month-first "." locale.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <tuple>

#include "tests/win/driver_test.h"

namespace {

// 5 December 2026, 14:35.
const double kDeliveryTime = 46361 + (14 * 60 + 35) / 1440.0;
// The two lines of a volume too small to keep.
const char kTooSmall[] = "O abastecimento veio litragem muito pequena";
const char kBelowACent[] = "O abastecimento veio com a litragem muito pequena.";

// A number text as the host receives it: "3,5" with "." where the locale says so.
std::string Num(std::string text) {
  std::replace(text.begin(), text.end(), ',', DecimalSeparator());
  return text;
}

SimDelivery MakeDelivery(int hoseId, double volume, double price, double amount) {
  SimDelivery d = SimDeliveryDefaults(hoseId, volume);
  d.flags = 0, d.unitPrice = price, d.amount = amount, d.completedDate = kDeliveryTime;
  d.startTotalizer = 1000, d.endTotalizer = 1000 + volume, d.code = 255;
  // Outputs the driver does not read differ from those it does: reading the wrong one shows.
  d.volume2 = 71;
  d.startVolume2Total = 72, d.startValueTotal = 73, d.endVolume2Total = 74, d.endValueTotal = 75;
  d.priceLevel = 2, d.reservedBy = 76, d.attendantId = 77, d.durationSeconds = 78;
  return d;
}

class Deliveries : public Station {
 protected:
  void SetUp() override {
    Station::SetUp();
    AddPumps(sim, 3);  // hoses 11..16
    // The nozzle table lives as long as the driver: register once. Hose 12 is registered only as
    // "012", which its deliveries do not match.
    static bool registered = false;
    if (!registered)
      for (const char* nozzle : {"11", "012", "13", "14", "15", "16"})
        driver.RegistraBico(nozzle, "1", "", "3", "3", "2", "3", "");
    registered = true;
  }
  // A fresh forecourt; the nozzle table is the driver's and stays.
  void Reset() { sim.SimReset(), AddPumps(sim, 3); }
  int32_t Add(const SimDelivery& d) {
    const int32_t id = sim.SimAddDelivery(&d);
    EXPECT_GE(id, 0);
    return id;
  }
  bool Poll() {
    std::memset(&out, 'X', sizeof out);
    return driver.ObtemAbastecimento(out);
  }
  // Which delivery the driver remembers: the one its confirmation locks.
  std::string Remembered() {
    sim.SimClearCalls();
    driver.ConfirmaAbastecimento();
    const auto locks = Calls(sim, "LockDelivery");
    return locks.empty() ? "<none>" : locks[0].substr(0, locks[0].find(')') + 1);
  }
  static std::string Lock(int32_t id) { return "LockDelivery(" + std::to_string(id) + ")"; }
  KorvanDriver::Delivery out;
};

// Handed over with its log lines, again until confirmed; the type and state go back as they came.
TEST_F(Deliveries, HandedOverAgainUntilConfirmedThenCleared) {
  ASSERT_TRUE(Start());
  SimDelivery d = MakeDelivery(11, 12.5, 4.299, 53.74);
  d.state = 1, d.type = 4;
  const int32_t first = Add(d);
  Add(MakeDelivery(13, 20, 5, 100));
  ASSERT_TRUE(Poll());
  EXPECT_EQ(
      Lines({out.numeroLogico, out.volume, out.valorTotal, out.precoUnitario, out.encerranteInicial,
             out.encerranteFinal, out.hora, out.text8, out.text9, out.text10}),
      Lines({"11", Num("12,5"), Num("53,74"), Num("4,299"), "1000", Num("1012,5"), "14:35:00", "0",
             "000000FF", ""}));
  EXPECT_EQ(out.data, 46361.0) << "5 December 2026 at midnight";
  const std::string id = std::to_string(first);
  EXPECT_EQ(LastLines(17),
            Lines({"ReengenhariaLitragem=" + Num("12,5"), "<AtribuiUltimoAbastecimentoBico>",
                   "Abastecimento = " + id, "Tipo          = 4", "Estado        = 1",
                   "<AtribuiUltimoAbastecimentoBico> OK", "AbastecimentoLogico = " + id,
                   "Numero Lógico       = 11", "Volume              = " + Num("12,5"),
                   "Preço Unitario      = " + Num("4,299"), "Valor Total         = " + Num("53,74"),
                   std::string("Data                = ") +
                       (DecimalSeparator() == ',' ? "05/12/2026" : "12/5/2026"),
                   "Hora                = 14:35:00", "Encerrante Inicial  = 1000",
                   "Encerrante Final    = " + Num("1012,5"), "Status da bomba     = 1",
                   "<AUT_ObtemAbastecimento> OK."}));
  const KorvanDriver::Delivery handed = out;
  ASSERT_TRUE(Poll());
  EXPECT_EQ(std::memcmp(&handed, &out, sizeof out), 0) << "the same texts again";
  EXPECT_EQ(sim.SimCountCalls("LockDelivery"), 0) << "nothing is marked by a poll";
  sim.SimClearCalls();
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  EXPECT_EQ(Calls(sim), Lines({Lock(first) + "=0", "ClearDelivery(" + id + ",4)=0"}));
  EXPECT_EQ(LastLines(2),
            Lines({"<AUT_ConfirmaAbastecimento>", "<AUT_ConfirmaAbastecimento> OK."}));
  ASSERT_TRUE(Poll());
  EXPECT_STREQ(out.numeroLogico, "13");
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  EXPECT_EQ(sim.SimClearedCount(), 2);
  // An empty list: the first place is asked for all the same.
  sim.SimClearCalls();
  EXPECT_FALSE(Poll());
  EXPECT_EQ(Calls(sim),
            Lines({"TestConnection()=0", "GetDeliveriesCount()=0", "GetDeliveryByOrdinal(1)=4"}));
  EXPECT_EQ(LastLines(2),
            Lines({"Error: 4", "<AUT_ObtemAbastecimento> Sem abastecimento pendente. "}));
}

// Only state 3 is reserved and not cleared; the type goes back as it came.
TEST_F(Deliveries, ConfirmationClearsEveryStateButThree) {
  ASSERT_TRUE(Start());
  for (int state : {0, 1, 2, 4, 7, -3, 3}) {
    SCOPED_TRACE("state " + std::to_string(state));
    SimDelivery d = MakeDelivery(11, 10, 5, 50);
    d.state = state, d.type = 5;
    const int32_t id = Add(d);
    ASSERT_TRUE(Poll());
    sim.SimClearCalls();
    EXPECT_TRUE(driver.ConfirmaAbastecimento());
    Lines expected = {Lock(id) + "=0"};
    if (state != 3) expected.push_back("ClearDelivery(" + std::to_string(id) + ",5)=0");
    EXPECT_EQ(Calls(sim), expected);
  }
}

TEST_F(Deliveries, RefusedConfirmationSaysWhereAndStops) {
  ASSERT_TRUE(Start());
  const int32_t id = Add(MakeDelivery(11, 10, 5, 50));
  ASSERT_TRUE(Poll());
  const std::tuple<const char*, const char*, size_t> rows[] = {
      {"LockDelivery", "<AUT_ConfirmaAbastecimento> Falha ao reservar ultimo abastecimento.", 1},
      {"ClearDelivery", "<AUT_ConfirmaAbastecimento> Falha ao limpar abastecimento da memoria.", 2},
  };
  for (const auto& [entry, line, calls] : rows) {
    for (int code : {7, -7}) {
      SCOPED_TRACE(std::string(entry) + " failing with " + std::to_string(code));
      sim.SimFailCall(entry, 1, code);
      sim.SimClearCalls();
      EXPECT_FALSE(driver.ConfirmaAbastecimento());
      EXPECT_EQ(Calls(sim).size(), calls) << Join(Calls(sim));
      EXPECT_EQ(LastLines(2), Lines({"Error: " + std::to_string(code), line}));
    }
  }
  // The reservation is this driver's own: confirming again goes through.
  EXPECT_TRUE(driver.ConfirmaAbastecimento());
  EXPECT_EQ(sim.SimDeliveryCount(), 0);
  EXPECT_EQ(Remembered(), Lock(id)) << "still names the confirmed delivery";
}

// Discarded by the driver: remembered, then reserved and cleared; 0, and no buffer written.
TEST_F(Deliveries, UnregisteredNozzleOrTooSmallAVolumeIsDiscarded) {
  const std::tuple<const char*, const char*, SimDelivery, const char*> rows[] = {
      {"unregistered", "", MakeDelivery(12, 10, 5, 50),
       "<AUT_ObtemAbastecimento> Abastecimento de um bico não registrado."},
      {"below 0.001", "", MakeDelivery(11, 0.0004, 5, 0.01), kTooSmall},
      {"below 0.001, REL=S", "REL=S", MakeDelivery(11, 0.0004, 5, 0.01), kTooSmall},
      {"below a cent", "", MakeDelivery(11, 0.002, 4.299, 0.01), kBelowACent},
      {"below a cent, REL=S", "REL=S", MakeDelivery(11, 0.002, 4.299, 0.01), kTooSmall},
      {"just below 0.001", "", MakeDelivery(11, 0.0009999, 0, 0), kTooSmall},
      {"just below a cent", "", MakeDelivery(11, 0.002, 4.999, 0.01), kBelowACent},
      {"just below a cent, REL=S", "REL=S", MakeDelivery(11, 0.002, 4.999, 0.01), kTooSmall},
  };
  for (const auto& [name, configuracao, delivery, line] : rows) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(Start(configuracao));
    const int32_t id = Add(delivery);
    sim.SimClearCalls();
    EXPECT_FALSE(Poll());
    EXPECT_EQ(std::string(out.hora, 2), "XX");
    EXPECT_TRUE(HasRun(LogMessages(), {line, "<AtribuiUltimoAbastecimentoBico>",
                                       "Abastecimento = " + std::to_string(id)}));
    EXPECT_EQ(Calls(sim, "ClearDelivery"), Lines{"ClearDelivery(" + std::to_string(id) + ",1)=0"});
    EXPECT_EQ(sim.SimDeliveryCount(), 0);
  }
}

// The other side of each of those edges: handed over, the volume as it was.
TEST_F(Deliveries, TheSmallestDeliveriesKeptAreHandedOver) {
  const std::tuple<const char*, SimDelivery, const char*> rows[] = {
      {"", MakeDelivery(11, 0.001, 0, 0), "0,001"},
      {"", MakeDelivery(11, 0.002, 5, 0.01), "0,002"},
      {"REL=S", MakeDelivery(11, 0.002, 5, 0.01), "0,002"},
  };
  for (const auto& [configuracao, delivery, volume] : rows) {
    SCOPED_TRACE(std::string(configuracao) + " " + volume);
    ASSERT_TRUE(Start(configuracao));
    Add(delivery);
    ASSERT_TRUE(Poll()) << Join(LogMessages());
    EXPECT_EQ(out.volume, Num(volume));
    ASSERT_TRUE(driver.ConfirmaAbastecimento());
  }
}

// A host that registers its nozzles at every start takes no new records: after 13 starts of 8
// nozzles a nozzle added later is registered, and its delivery is handed over rather than cleared
// as an unregistered one's.
TEST_F(Deliveries, RegisteringAtEveryStartLeavesRoomForANewNozzle) {
  for (int start = 0; start < 13; ++start) {
    ASSERT_TRUE(Start());
    for (int nozzle = 81; nozzle <= 88; ++nozzle)
      driver.RegistraBico(std::to_string(nozzle).c_str(), "8", "", "3", "3", "2", "3", "");
  }
  AddPump(sim, 9);
  AddHose(sim, 91, 9, 5);
  driver.RegistraBico("91", "9", "", "3", "3", "2", "3", "");
  const int32_t id = Add(MakeDelivery(91, 10, 5, 50));
  sim.SimClearCalls();
  ASSERT_TRUE(Poll()) << Join(LogMessages());
  EXPECT_STREQ(out.numeroLogico, "91");
  EXPECT_EQ(sim.SimCountCalls("ClearDelivery"), 0);
  sim.SimClearCalls();
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  EXPECT_EQ(Calls(sim, "LockDelivery"), Lines{Lock(id) + "=0"});
}

// A controller's delivery identifier of 0 is not remembered: the driver logs it and keeps the
// delivery remembered before.
TEST_F(Deliveries, IdentifierZeroKeepsTheRememberedDelivery) {
  ASSERT_TRUE(Start());
  const int32_t before = Add(MakeDelivery(11, 10, 5, 50));
  ASSERT_TRUE(Poll());
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  SimDelivery zero = MakeDelivery(12, 10, 5, 50);  // unregistered: discarded
  zero.flags = SIM_DELIVERY_GIVEN_ID, zero.state = 1, zero.type = 2;
  ASSERT_EQ(sim.SimAddDelivery(&zero), 0);
  EXPECT_FALSE(Poll());
  EXPECT_TRUE(HasRun(LogMessages(),
                     {"<AtribuiUltimoAbastecimentoBico>", "Abastecimento = 0", "Tipo          = 2",
                      "Estado        = 1",
                      "<AtribuiUltimoAbastecimentoBico> Falha numero logico menor ou igual a zero.",
                      "<AtribuiUltimoAbastecimentoBico> OK", "<AUT_ConfirmaAbastecimento>"}));
  EXPECT_EQ(Remembered(), Lock(before));
}

// Any lock value but -1, and this driver's own on a delivery of state 3: left where it is with the
// buffers written, nothing logged after the volume line, the remembered delivery unchanged and the
// ones behind it not looked at.
TEST_F(Deliveries, AHeldDeliveryIsLeftAndStopsThePoll) {
  ASSERT_TRUE(Start());
  const int32_t confirmed = Add(MakeDelivery(13, 7, 5, 35));
  ASSERT_TRUE(Poll());
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  const std::pair<int32_t, int32_t> rows[] = {{5, 2},  {42, 2}, {0, 2}, {1, 2},
                                              {-2, 2}, {98, 2}, {97, 3}};
  for (const auto& [lockValue, state] : rows) {
    SCOPED_TRACE("lock value " + std::to_string(lockValue) + ", state " + std::to_string(state));
    Reset();  // the held delivery would stop the next row
    ASSERT_TRUE(Start());
    SimDelivery held = MakeDelivery(11, 10, 5, 50);
    held.id = 5000, held.lockedBy = lockValue, held.state = state;  // 5000: never remembered
    Add(held);
    Add(MakeDelivery(13, 20, 5, 100));
    sim.SimClearCalls();
    EXPECT_FALSE(Poll());
    EXPECT_STREQ(out.numeroLogico, "11");
    EXPECT_EQ(out.text9, std::string("000000FF"));
    EXPECT_EQ(LastLine(), "ReengenhariaLitragem=" + Num("10"));
    EXPECT_EQ(Calls(sim, "GetDeliveryByOrdinal"), Lines{"GetDeliveryByOrdinal(1)=0"});
    EXPECT_EQ(sim.SimCountCalls("ClearDelivery"), 0);
    EXPECT_EQ(Remembered(), Lock(confirmed));
  }
}

// A delivery whose outputs can never be made stays in the controller, untouched, and does not hold
// up the ones behind it.
TEST_F(Deliveries, ADeliveryThatCannotBeMadeDoesNotStopTheOthers) {
  const std::tuple<const char*, double, double, double, const char*> rows[] = {
      {"unit price not a number", 10, std::nan(""), kDeliveryTime, "NAN"},
      {"date before year 100", 10, 5, -700000, "date"},
      {"date after year 9999", 10, 5, 3000000, "date"},
      {"volume of 1e16", 1e16, 5, kDeliveryTime, "1e+16"},
  };
  for (const auto& [name, volume, price, date, reason] : rows) {
    SCOPED_TRACE(name);
    Reset();
    SimDelivery bad = MakeDelivery(11, volume, price, 50);
    bad.completedDate = date;
    const int32_t badId = Add(bad);
    SimDelivery good = MakeDelivery(13, 20, 5, 100);
    good.code = 77;
    const int32_t goodId = Add(good);
    ASSERT_TRUE(Start());
    const std::string skipped = "<AUT_ObtemAbastecimento> Abastecimento " + std::to_string(badId) +
                                " com dados invalidos (";
    ASSERT_TRUE(Poll()) << Join(LogMessages());
    EXPECT_STREQ(out.text9, "0000004D") << "the one behind";
    const auto lines = LogMessages();
    const auto found = std::find_if(lines.rbegin(), lines.rend(),
                                    [&](const std::string& l) { return l.rfind(skipped, 0) == 0; });
    ASSERT_NE(found, lines.rend()) << Join(lines);
    EXPECT_NE(found->find(reason), std::string::npos) << *found;
    EXPECT_EQ(found->substr(found->size() - 27), "), seguindo para o proximo.");
    ASSERT_TRUE(driver.ConfirmaAbastecimento());
    EXPECT_FALSE(Poll());
    EXPECT_EQ(LastLine(), "<AUT_ObtemAbastecimento> Sem abastecimento pendente. ");
    EXPECT_EQ(Calls(sim, "GetDeliveryByOrdinal").back(), "GetDeliveryByOrdinal(1)=0")
        << "the walk stays within the count";
    EXPECT_EQ(Calls(sim, "LockDelivery"), Lines{Lock(goodId) + "=0"});
    SimDelivery left{};
    ASSERT_EQ(sim.SimGetDelivery(0, &left), SIM_OK);
    EXPECT_EQ(std::vector<int32_t>({left.id, left.lockedBy, sim.SimDeliveryCount()}),
              std::vector<int32_t>({badId, -1, 1}));
  }
}

// A delivery this driver locked in a confirmation whose clear never came is cleared at the next
// poll, and the one behind it handed over.
TEST_F(Deliveries, AConfirmationLeftHalfWayIsFinished) {
  for (bool clearRefused : {true, false}) {  // else a host gone after the lock
    SCOPED_TRACE(clearRefused ? "clear refused" : "host gone after the lock");
    Reset();
    ASSERT_TRUE(Start());
    const int32_t first = Add(MakeDelivery(11, 10, 5, 50));
    SimDelivery behind = MakeDelivery(13, 20, 5, 100);
    behind.type = 2;
    Add(behind);
    if (clearRefused) {
      ASSERT_TRUE(Poll());
      sim.SimFailCall("ClearDelivery", 1, 9);
      ASSERT_FALSE(driver.ConfirmaAbastecimento());
    } else {
      sim.SimSetDeliveryLock(first, 97);
    }
    sim.SimClearCalls();
    ASSERT_TRUE(Poll()) << Join(LogMessages());
    EXPECT_STREQ(out.numeroLogico, "13");
    EXPECT_EQ(Calls(sim, "ClearDelivery"),
              Lines{"ClearDelivery(" + std::to_string(first) + ",1)=0"});
    EXPECT_TRUE(
        HasRun(LogMessages(), {"<AUT_ObtemAbastecimento> Abastecimento " + std::to_string(first) +
                               " ja confirmado pelo driver, limpando."}));
    ASSERT_TRUE(driver.ConfirmaAbastecimento());
    EXPECT_EQ(sim.SimClearedCount(), 2);
    EXPECT_EQ(sim.SimDeliveryCount(), 0);
  }
}

TEST_F(Deliveries, ReEngineeringFollowsTheExactOption) {
  const std::pair<const char*, const char*> rows[] = {
      {"REL=S", "3,334"}, {"xREL=Sy", "3,334"}, {"", "3,3"},       {"rel=s", "3,3"},
      {"REL=N", "3,3"},   {"REL=s", "3,3"},     {"REL= S", "3,3"}, {"REL:S", "3,3"},
      {"EL=S", "3,3"},    {"REL=", "3,3"},
  };
  for (const auto& [configuracao, volume] : rows) {
    SCOPED_TRACE(std::string("Configuracao ") + configuracao);
    ASSERT_TRUE(Start(configuracao));
    Add(MakeDelivery(11, 3.3, 3, 10));
    ASSERT_TRUE(Poll());
    EXPECT_EQ(out.volume, Num(volume));
    EXPECT_STREQ(out.valorTotal, "10");
    ASSERT_TRUE(driver.ConfirmaAbastecimento());
  }
  // Without an amount, or a unit price, the controller's volume stands.
  ASSERT_TRUE(Start("REL=S"));
  for (const SimDelivery& d : {MakeDelivery(11, 4.5, 0, 10), MakeDelivery(11, 4.5, 3, 0)}) {
    Add(d);
    ASSERT_TRUE(Poll());
    EXPECT_EQ(out.volume, Num("4,5"));
    ASSERT_TRUE(driver.ConfirmaAbastecimento());
  }
}

// Each failing step before the nozzle check: 0, no buffer written, the delivery left waiting.
TEST_F(Deliveries, EachFailingStepHasItsLine) {
  ASSERT_TRUE(Start());
  Add(MakeDelivery(11, 10, 5, 50));
  const std::pair<const char*, const char*> rows[] = {
      {"GetDeliveriesCount",
       "<AUT_ObtemAbastecimento> Falha ao retornar o numero de abastecimentos no servidor."},
      {"GetDeliveryByOrdinal", "<AUT_ObtemAbastecimento> Sem abastecimento pendente. "},
      {"GetDeliveryPropertiesEx2", "<AUT_ObtemAbastecimento> Falha obter dados do abastecimento."},
  };
  for (const auto& [entry, line] : rows) {
    for (int code : {9, -9}) {
      SCOPED_TRACE(std::string(entry) + " failing with " + std::to_string(code));
      sim.SimFailCall(entry, 1, code);
      EXPECT_FALSE(Poll());
      EXPECT_EQ(std::string(out.numeroLogico, 2), "XX");
      EXPECT_EQ(LastLines(2), Lines({"Error: " + std::to_string(code), line}));
    }
  }
  EXPECT_EQ(sim.SimDeliveryCount(), 1);
  EXPECT_EQ(sim.SimCountCalls("LockDelivery"), 0);
}

// A null Data pointer alone gives 0 before anything is asked of the controller.
TEST_F(Deliveries, NullDateBufferAloneIsRefused) {
  ASSERT_TRUE(Start());
  Add(MakeDelivery(11, 10, 5, 50));
  sim.SimClearCalls();
  std::memset(&out, 'X', sizeof out);
  EXPECT_EQ(
      driver.Call("AUT_ObtemAbastecimento",
                  {Arg(out.numeroLogico), Arg(out.volume), Arg(out.valorTotal),
                   Arg(out.precoUnitario), Arg(out.encerranteInicial), Arg(out.encerranteFinal),
                   Arg(out.hora), Arg(out.text8), Arg(out.text9), Arg(out.text10), 0}),
      0u);
  EXPECT_EQ(std::string(out.numeroLogico, 2), "XX");
  EXPECT_EQ(sim.SimCallCount(), 0) << Join(Calls(sim));
  ASSERT_TRUE(Poll()) << "the delivery still waits";
}

TEST_F(Deliveries, ReconnectsWithTheSavedArguments) {
  ASSERT_TRUE(driver.IniciaComunicacao("10.1.1.1", "first", "REL=S"));
  Add(MakeDelivery(11, 3.3, 3, 10));
  sim.SimSetConnected(0);
  ASSERT_TRUE(Poll());
  EXPECT_EQ(SessionOf(sim).logons, 2);
  EXPECT_STREQ(SessionOf(sim).serverAddress, "10.1.1.1");
  EXPECT_EQ(out.volume, Num("3,334")) << "re-engineering from the saved text";
  const auto lines = LogMessages();
  EXPECT_TRUE(HasRun(
      lines,
      {"<AUT_ObtemAbastecimento>", "Error: 1", "<AUT_ObtemAbastecimento> Falha TestConnection.",
       "<AUT_ObtemAbastecimento> Tentando Reconectar ao QXServerCE.", "<AUT_IniciaComunicacao>",
       "Porta=10.1.1.1", "Modo=", "Configuracao=REL=S"}));
  EXPECT_TRUE(HasRun(lines, {"OK >AUT_IniciaComunicacao<",
                             "<AUT_ObtemAbastecimento> Reconectado ao QXServerCE com sucesso."}));
  // Refused: 0, nothing written, the delivery stays.
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  Add(MakeDelivery(11, 10, 5, 50));
  sim.SimSetConnected(0);
  sim.SimFailCall("ClientLogonEx", 0, 1);
  EXPECT_FALSE(Poll());
  EXPECT_EQ(LastLines(2), Lines({"Falhou >AUT_IniciaComunicacao<",
                                 "<AUT_ObtemAbastecimento> Falha ao reconectar QXServerCE ."}));
  EXPECT_EQ(std::string(out.numeroLogico, 2), "XX");
  EXPECT_EQ(sim.SimDeliveryCount(), 1);
  // Any code but 0 from the connection test calls for a reconnection.
  sim.SimClearFaults();
  sim.SimFailCall("TestConnection", 1, -1);
  ASSERT_TRUE(Poll());
  EXPECT_EQ(SessionOf(sim).logons, 3);
}

// The texts of a delivery, re-engineered or not, whatever modes the host computes in (see
// FloatModes); the host gets its modes back.
TEST_F(Deliveries, TextsDoNotFollowTheHostsFloatingPointModes) {
  for (const FloatModes::Row& row : FloatModes::Rows()) {
    for (const char* configuracao : {"REL=S", ""}) {
      SCOPED_TRACE(row.Name() + ", " + configuracao);
      ASSERT_TRUE(Start(configuracao));
      Add(MakeDelivery(13, 11.63, 4.299, 50));
      Add(MakeDelivery(11, 3.3, 3, 10));
      Lines texts;
      for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(InHostModes(row, [&] { return Poll(); }) && driver.ConfirmaAbastecimento());
        texts.insert(texts.end(), {out.volume, out.valorTotal, out.precoUnitario,
                                   out.encerranteFinal, out.hora});
        EXPECT_EQ(out.data, 46361.0);
      }
      const bool rel = *configuracao != 0;
      EXPECT_EQ(texts, Lines({Num(rel ? "11,631" : "11,63"), "50", Num("4,299"), Num("1011,63"),
                              "14:35:00", Num(rel ? "3,334" : "3,3"), "10", "3", Num("1003,3"),
                              "14:35:00"}));
    }
  }
}

// Delphi hosts unmask floating-point exceptions; an amount over a vanishing price must not trap.
TEST_F(Deliveries, UnmaskedFloatingPointExceptionsDoNotTrap) {
  ASSERT_TRUE(Start("REL=S"));
  Add(MakeDelivery(11, 10, 1e-310, 10));
  EXPECT_FALSE(InHostModes({0, 3, FloatModes::kBoth, false}, [&] { return Poll(); }))
      << "the volume cannot be recomputed";
  EXPECT_EQ(sim.SimDeliveryCount(), 1) << "left in the controller";
}

}  // namespace
