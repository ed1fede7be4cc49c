// Deliveries from the controller's list to the host's records: hand-over,
// confirmation, the rules that discard or leave a delivery, reconnection,
// and a long stream with faults in which no delivery may be lost. Runs once
// with a day-first "," locale and once with a month-first "." locale.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <set>
#include <thread>

#include "tests/win/station.h"

namespace {

// 5 December 2026, 14:35.
const double kDeliveryTime = 46361 + (14 * 60 + 35) / 1440.0;

// A number text as the host receives it: "3,5" with "." where the locale
// says so.
std::string Num(std::string text) {
  std::replace(text.begin(), text.end(), ',', DecimalSeparator());
  return text;
}

SimDelivery MakeDelivery(int hoseId, double volume, double price, double amount) {
  SimDelivery d = SimDeliveryDefaults(hoseId, volume);
  d.flags = 0;
  d.unitPrice = price;
  d.amount = amount;
  d.completedDate = kDeliveryTime;
  d.startTotalizer = 1000;
  d.endTotalizer = 1000 + volume;
  d.code = 255;
  return d;
}

class Deliveries : public Station {
 protected:
  void SetUp() override {
    Station::SetUp();
    AddPumps(3);  // hoses 11..16
    // The nozzle table lives as long as the driver: register once. Hose 12
    // is registered only as "012", which its deliveries do not match.
    static bool registered = false;
    if (!registered) {
      for (const char* nozzle : {"11", "012", "13", "14", "15", "16"})
        driver.RegistraBico(nozzle, "1", "", "3", "3", "2", "3", "");
      registered = true;
    }
  }

  KorvanDriver::Delivery Blank() {
    KorvanDriver::Delivery d;
    std::memset(&d, 'X', sizeof d);
    return d;
  }

  int WaitingCount() { return sim.SimDeliveryCount(); }
  int ClearedCount() { return sim.SimClearedCount(); }
  int32_t FirstWaitingId() {
    SimDelivery d{};
    return sim.SimGetDelivery(0, &d) == SIM_OK ? d.id : 0;
  }
};

TEST_F(Deliveries, HandedOverAgainUntilConfirmedThenCleared) {
  ASSERT_TRUE(Start());
  AddDelivery(MakeDelivery(11, 12.5, 4.299, 53.74));
  AddDelivery(MakeDelivery(13, 20, 5, 100));
  const int32_t first = FirstWaitingId();

  auto d = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(d));
  EXPECT_STREQ(d.numeroLogico, "11");
  EXPECT_EQ(d.volume, Num("12,5"));
  EXPECT_EQ(d.valorTotal, Num("53,74"));
  EXPECT_EQ(d.precoUnitario, Num("4,299"));
  EXPECT_STREQ(d.encerranteInicial, "1000");
  EXPECT_EQ(d.encerranteFinal, Num("1012,5"));
  EXPECT_STREQ(d.hora, "14:35:00");
  EXPECT_STREQ(d.text8, "0");
  EXPECT_STREQ(d.text9, "000000FF");
  EXPECT_STREQ(d.text10, "");
  EXPECT_EQ(d.data, 46361.0) << "5 December 2026 at midnight";

  auto again = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(again));
  EXPECT_EQ(std::memcmp(&d, &again, sizeof d), 0) << "the same texts again";
  EXPECT_EQ(CountCalls("LockDelivery"), 0) << "nothing is marked by a poll";

  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  const std::string id = std::to_string(first);
  EXPECT_EQ(CallsNamed("LockDelivery"),
            std::vector<std::string>{"LockDelivery(" + id + ")=0"});
  EXPECT_EQ(CallsNamed("ClearDelivery"),
            std::vector<std::string>{"ClearDelivery(" + id + ",1)=0"});
  EXPECT_EQ(ClearedCount(), 1);

  auto next = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(next));
  EXPECT_STREQ(next.numeroLogico, "13");
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  EXPECT_FALSE(driver.ObtemAbastecimento(next));
  EXPECT_EQ(LogMessages().back(),
            "<AUT_ObtemAbastecimento> Sem abastecimento pendente. ");
}

TEST_F(Deliveries, LogsTheDeliveryHandedOver) {
  ASSERT_TRUE(Start());
  AddDelivery(MakeDelivery(11, 12.5, 4.299, 53.74));
  auto d = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(d));
  const bool dayFirst = DecimalSeparator() == ',';  // pt-BR vs en-US here
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(
      lines,
      {"AbastecimentoLogico = " + std::to_string(FirstWaitingId()),
       "Numero Lógico       = 11", "Volume              = " + Num("12,5"),
       "Preço Unitario      = " + Num("4,299"),
       "Valor Total         = " + Num("53,74"),
       std::string("Data                = ") +
           (dayFirst ? "05/12/2026" : "12/5/2026"),
       "Hora                = 14:35:00", "Encerrante Inicial  = 1000",
       "Encerrante Final    = " + Num("1012,5"), "Status da bomba     = 2",
       "<AUT_ObtemAbastecimento> OK."}))
      << Join(lines);
  driver.ConfirmaAbastecimento();
}

TEST_F(Deliveries, StateThreeIsReservedNotCleared) {
  ASSERT_TRUE(Start());
  SimDelivery d = MakeDelivery(11, 10, 5, 50);
  d.state = 3;
  AddDelivery(d);
  auto out = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(out));
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
  EXPECT_EQ(CountCalls("LockDelivery"), 1);
  EXPECT_EQ(CountCalls("ClearDelivery"), 0);
  EXPECT_EQ(WaitingCount(), 1);
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"<AUT_ConfirmaAbastecimento>",
                                  "<AUT_ConfirmaAbastecimento> OK."}))
      << Join(lines);
}

TEST_F(Deliveries, RefusedClearReturnsZeroAndSendsNothingMore) {
  ASSERT_TRUE(Start());
  AddDelivery(MakeDelivery(11, 10, 5, 50));
  auto out = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(out));
  sim.SimFailCall("ClearDelivery", 1, 7);
  sim.SimClearCalls();
  EXPECT_FALSE(driver.ConfirmaAbastecimento());
  EXPECT_EQ(sim.SimCallCount(), 2) << Join(Calls());
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"Error: 7",
                                  "<AUT_ConfirmaAbastecimento> Falha ao limpar "
                                  "abastecimento da memoria."}))
      << Join(lines);
  // The host confirms again: the reservation is its own, so it goes through.
  EXPECT_TRUE(driver.ConfirmaAbastecimento());
  EXPECT_EQ(WaitingCount(), 0);
}

TEST_F(Deliveries, UnregisteredNozzleIsDiscarded) {
  ASSERT_TRUE(Start());
  AddDelivery(MakeDelivery(12, 10, 5, 50));  // only "012" is registered
  auto out = Blank();
  EXPECT_FALSE(driver.ObtemAbastecimento(out));
  EXPECT_EQ(out.numeroLogico[0], 'X') << "no buffer written";
  EXPECT_EQ(ClearedCount(), 1) << "reserved and cleared by the driver";
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"<AUT_ObtemAbastecimento> Abastecimento de "
                                  "um bico não registrado.",
                                  "<AtribuiUltimoAbastecimentoBico>"}))
      << Join(lines);
}

TEST_F(Deliveries, TooSmallAVolumeIsDiscarded) {
  ASSERT_TRUE(Start("REL=S"));
  AddDelivery(MakeDelivery(11, 0.0004, 5, 0.01));
  auto out = Blank();
  EXPECT_FALSE(driver.ObtemAbastecimento(out));
  EXPECT_EQ(ClearedCount(), 1);
  auto lines = LogMessages();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "O abastecimento veio litragem muito pequena"),
            lines.end())
      << Join(lines);
}

TEST_F(Deliveries, LockedByAnotherIsLeftWithBuffersWritten) {
  ASSERT_TRUE(Start());
  AddDelivery(MakeDelivery(13, 7, 5, 35));
  auto out = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(out));
  const int32_t remembered = FirstWaitingId();
  ASSERT_TRUE(driver.ConfirmaAbastecimento());

  SimDelivery locked = MakeDelivery(11, 10, 5, 50);
  locked.lockedBy = 5;
  AddDelivery(locked);
  EXPECT_FALSE(driver.ObtemAbastecimento(out));
  EXPECT_STREQ(out.numeroLogico, "11");
  EXPECT_EQ(out.volume, Num("10"));
  EXPECT_EQ(LogMessages().back(), "ReengenhariaLitragem=" + Num("10"));
  // The remembered delivery is still the one confirmed before.
  sim.SimClearCalls();
  driver.ConfirmaAbastecimento();
  EXPECT_EQ(CallsNamed("LockDelivery").at(0).find(
                "LockDelivery(" + std::to_string(remembered) + ")"),
            0u);
  EXPECT_EQ(WaitingCount(), 1);
}

// A delivery whose outputs can never be made stays in the controller,
// untouched, and does not hold up the ones behind it.
TEST_F(Deliveries, ADeliveryThatCannotBeMadeDoesNotStopTheOthers) {
  struct Case {
    const char* what;
    double volume, price, date;
    const char* reason;  // part of the logged reason
  } cases[] = {
      {"unit price not a number", 10, std::nan(""), kDeliveryTime, "NAN"},
      {"date before year 100", 10, 5, -700000, "date"},
      {"date after year 9999", 10, 5, 3000000, "date"},
      {"volume of 1e16", 1e16, 5, kDeliveryTime, "1e+16"},
  };
  const std::string ending = "), seguindo para o proximo.";
  for (const Case& c : cases) {
    sim.SimReset();
    AddPumps(3);
    SimDelivery bad = MakeDelivery(11, c.volume, c.price, 50);
    bad.completedDate = c.date;
    AddDelivery(bad);
    const int32_t badId = FirstWaitingId();
    SimDelivery good = MakeDelivery(13, 20, 5, 100);
    good.code = 77;
    AddDelivery(good);
    ASSERT_TRUE(Start()) << c.what;
    const std::string skipped = "<AUT_ObtemAbastecimento> Abastecimento " +
                                std::to_string(badId) + " com dados invalidos (";
    auto skippedLines = [&] {
      std::vector<std::string> found;
      for (const auto& line : LogMessages())
        if (line.compare(0, skipped.size(), skipped) == 0) found.push_back(line);
      return found;
    };
    const size_t before = skippedLines().size();

    auto out = Blank();
    ASSERT_TRUE(driver.ObtemAbastecimento(out)) << c.what << Join(LogMessages());
    EXPECT_STREQ(out.text9, "0000004D") << c.what << ": the one behind";
    ASSERT_TRUE(driver.ConfirmaAbastecimento()) << c.what;
    EXPECT_FALSE(driver.ObtemAbastecimento(out)) << c.what;
    EXPECT_EQ(LogMessages().back(),
              "<AUT_ObtemAbastecimento> Sem abastecimento pendente. ")
        << c.what;

    auto lines = skippedLines();
    ASSERT_EQ(lines.size(), before + 2) << c.what << ": one line each poll";
    EXPECT_NE(lines.back().find(c.reason), std::string::npos)
        << c.what << ": got " << lines.back();
    EXPECT_EQ(lines.back().substr(lines.back().size() - ending.size()), ending)
        << c.what;
    SimDelivery left{};
    ASSERT_EQ(sim.SimGetDelivery(0, &left), SIM_OK) << c.what;
    EXPECT_EQ(left.id, badId) << c.what;
    EXPECT_EQ(left.lockedBy, -1) << c.what << ": not locked";
    EXPECT_EQ(WaitingCount(), 1) << c.what;
    EXPECT_EQ(CallsNamed("GetDeliveryByOrdinal").back(),
              "GetDeliveryByOrdinal(1)=0")
        << c.what << ": the walk stays within the count";
    EXPECT_EQ(CallsNamed("LockDelivery"),
              std::vector<std::string>{"LockDelivery(" +
                                       std::to_string(badId + 1) + ")=0"})
        << c.what << ": only the one behind is locked";
  }
}

// A delivery this driver locked in a confirmation whose clear never came
// is cleared at the next poll, and the one behind it handed over.
TEST_F(Deliveries, AConfirmationLeftHalfWayIsFinished) {
  struct Case {
    const char* what;
    bool clearRefused;  // else locked by hand, as a host dying between the two
  } cases[] = {{"clear refused", true}, {"host gone after the lock", false}};
  for (const Case& c : cases) {
    sim.SimReset();
    AddPumps(3);
    ASSERT_TRUE(Start());
    AddDelivery(MakeDelivery(11, 10, 5, 50));
    const int32_t first = FirstWaitingId();
    SimDelivery behind = MakeDelivery(13, 20, 5, 100);
    behind.type = 2;
    AddDelivery(behind);
    auto out = Blank();
    if (c.clearRefused) {
      ASSERT_TRUE(driver.ObtemAbastecimento(out));
      sim.SimFailCall("ClearDelivery", 1, 9);
      ASSERT_FALSE(driver.ConfirmaAbastecimento());
    } else {
      sim.SimSetDeliveryLock(first, 97);
    }
    sim.SimClearCalls();
    ASSERT_TRUE(driver.ObtemAbastecimento(out)) << c.what << Join(LogMessages());
    EXPECT_STREQ(out.numeroLogico, "13") << c.what;
    EXPECT_EQ(CallsNamed("ClearDelivery"),
              std::vector<std::string>{"ClearDelivery(" +
                                       std::to_string(first) + ",1)=0"})
        << c.what;
    SimDelivery cleared{};
    ASSERT_EQ(sim.SimClearedCount(), 1) << c.what;
    sim.SimGetCleared(0, &cleared);
    EXPECT_EQ(cleared.id, first) << c.what;
    auto lines = LogMessages();
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        "<AUT_ObtemAbastecimento> Abastecimento " +
                            std::to_string(first) +
                            " ja confirmado pelo driver, limpando."),
              lines.end())
        << c.what << Join(lines);
    ASSERT_TRUE(driver.ConfirmaAbastecimento()) << c.what;
    EXPECT_EQ(WaitingCount(), 0) << c.what;
  }
}

// Held by another client, or reserved for good by this driver: the poll
// leaves it and does not look behind it.
TEST_F(Deliveries, AHeldDeliveryStillStopsThePoll) {
  struct Case {
    const char* what;
    int32_t lockedBy, state;
  } cases[] = {{"another client", 5, 2}, {"reserved, state 3", 97, 3}};
  for (const Case& c : cases) {
    sim.SimReset();
    AddPumps(3);
    ASSERT_TRUE(Start());
    SimDelivery held = MakeDelivery(11, 10, 5, 50);
    held.lockedBy = c.lockedBy;
    held.state = c.state;
    AddDelivery(held);
    AddDelivery(MakeDelivery(13, 20, 5, 100));
    sim.SimClearCalls();
    auto out = Blank();
    EXPECT_FALSE(driver.ObtemAbastecimento(out)) << c.what;
    EXPECT_EQ(CallsNamed("GetDeliveryByOrdinal"),
              std::vector<std::string>{"GetDeliveryByOrdinal(1)=0"})
        << c.what;
    EXPECT_EQ(CountCalls("ClearDelivery"), 0) << c.what;
    EXPECT_EQ(WaitingCount(), 2) << c.what;
  }
}

TEST_F(Deliveries, ReEngineeringFollowsTheExactOption) {
  ASSERT_TRUE(Start("xREL=Sy"));
  AddDelivery(MakeDelivery(11, 3.3, 3, 10));
  auto out = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(out));
  EXPECT_EQ(out.volume, Num("3,334"));
  EXPECT_EQ(out.valorTotal, std::string("10"));
  ASSERT_TRUE(driver.ConfirmaAbastecimento());

  ASSERT_TRUE(Start("rel=s"));
  AddDelivery(MakeDelivery(11, 3.3, 3, 10));
  ASSERT_TRUE(driver.ObtemAbastecimento(out));
  EXPECT_EQ(out.volume, Num("3,3"));
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
}

TEST_F(Deliveries, ZeroUnitPriceWithReEngineeringHandsOverTheVolume) {
  ASSERT_TRUE(Start("REL=S"));
  AddDelivery(MakeDelivery(11, 4.5, 0, 10));
  auto out = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(out));
  EXPECT_EQ(out.volume, Num("4,5"));
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
}

// Delphi hosts run with floating-point exceptions unmasked; an amount over
// a vanishing unit price must not trap in the host.
TEST_F(Deliveries, UnmaskedFloatingPointExceptionsDoNotTrap) {
  ASSERT_TRUE(Start("REL=S"));
  AddDelivery(MakeDelivery(11, 10, 1e-310, 10));
  const unsigned int hostControl = _control87(0, 0);
  _clearfp();
  _control87(0, _EM_OVERFLOW | _EM_ZERODIVIDE | _EM_INVALID);
  const unsigned int unmasked = _control87(0, 0);
  auto out = Blank();
  const bool handedOver = driver.ObtemAbastecimento(out);
  const unsigned int afterCall = _control87(0, 0);
  _clearfp();
  _control87(hostControl, _MCW_EM);
  EXPECT_FALSE(handedOver) << "the volume cannot be recomputed";
  EXPECT_EQ(afterCall & _MCW_EM, unmasked & _MCW_EM)
      << "the host's control word is restored";
  EXPECT_EQ(WaitingCount(), 1) << "left in the controller";
  SimDelivery stuck{};
  sim.SimGetDelivery(0, &stuck);
  sim.SimSetDeliveryLock(stuck.id, 5);  // out of the way of later tests
}

TEST_F(Deliveries, NegativeCodeIsSixteenHexDigits) {
  ASSERT_TRUE(Start());
  SimDelivery d = MakeDelivery(11, 10, 5, 50);
  d.code = -1;
  AddDelivery(d);
  auto out = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(out));
  EXPECT_STREQ(out.text9, "FFFFFFFFFFFFFFFF");
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
}

TEST_F(Deliveries, ReconnectsWithTheSavedArguments) {
  ASSERT_TRUE(driver.IniciaComunicacao("10.1.1.1", "first", "REL=S"));
  AddDelivery(MakeDelivery(11, 3.3, 3, 10));
  sim.SimSetConnected(0);
  const int logons = ControllerSession().logons;
  auto out = Blank();
  ASSERT_TRUE(driver.ObtemAbastecimento(out));
  EXPECT_EQ(ControllerSession().logons, logons + 1);
  EXPECT_STREQ(ControllerSession().serverAddress, "10.1.1.1");
  EXPECT_EQ(out.volume, Num("3,334")) << "re-engineering from the saved text";
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"<AUT_ObtemAbastecimento> Falha TestConnection.",
                                  "<AUT_ObtemAbastecimento> Tentando Reconectar "
                                  "ao QXServerCE.",
                                  "<AUT_IniciaComunicacao>",
                                  "Porta=10.1.1.1", "Modo=",
                                  "Configuracao=REL=S"}))
      << Join(lines);
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "<AUT_ObtemAbastecimento> Reconectado ao QXServerCE com "
                      "sucesso."),
            lines.end());
  ASSERT_TRUE(driver.ConfirmaAbastecimento());
}

TEST_F(Deliveries, FailedReconnectionReturnsZero) {
  ASSERT_TRUE(Start());
  AddDelivery(MakeDelivery(11, 10, 5, 50));
  sim.SimSetConnected(0);
  sim.SimFailCall("ClientLogonEx", 0, 1);
  auto out = Blank();
  EXPECT_FALSE(driver.ObtemAbastecimento(out));
  EXPECT_EQ(LogMessages().back(),
            "<AUT_ObtemAbastecimento> Falha ao reconectar QXServerCE .");
  EXPECT_EQ(out.numeroLogico[0], 'X');
  EXPECT_EQ(WaitingCount(), 1);
}

std::string CodeText(int64_t code) {
  char hex[32];
  std::snprintf(hex, sizeof hex, "%llX", static_cast<unsigned long long>(code));
  return hex;
}

// The rules that let the driver discard a delivery by itself.
bool DiscardedByRule(const SimDelivery& d) {
  if (d.hoseId == 12) return true;  // unregistered nozzle
  if (std::trunc(d.volume * 1000 + 1e-7) <= 0) return true;  // below 0.001
  const double price = std::trunc(d.unitPrice * 1000 + 1e-7) / 1000;
  return price > 0 && d.volume * price < 0.01;
}

// A small station's session, with the n-th client call failing, for every n:
// after the host has polled on, no delivery was lost or cleared without being
// handed over or discarded by a rule.
TEST_F(Deliveries, FailingAnyOneCallLosesNoDelivery) {
  driver.ParaGravacaoLog();
  auto session = [&](int failAt) {
    sim.SimReset();
    AddPumps(3);
    const SimDelivery deliveries[] = {
        MakeDelivery(11, 10, 5, 50), MakeDelivery(12, 10, 5, 50),
        MakeDelivery(13, 0.0004, 5, 0), MakeDelivery(14, 3.3, 3, 10),
        MakeDelivery(15, 20, 4.299, 85.98)};
    int64_t code = 0x100000000LL;
    for (SimDelivery d : deliveries) {
      d.code = code++;
      AddDelivery(d);
    }
    if (failAt > 0) sim.SimFailCall("*", failAt, 9);
    std::set<std::string> handedOver;
    Start("REL=S");
    for (int poll = 0; poll < 20 && sim.SimDeliveryCount() > 0; ++poll) {
      auto out = Blank();
      if (!driver.ObtemAbastecimento(out)) continue;
      handedOver.insert(out.text9);
      for (int tries = 0; tries < 3 && !driver.ConfirmaAbastecimento(); ++tries) {
      }
    }
    EXPECT_EQ(sim.SimDeliveryCount(), 0) << "failing call " << failAt;
    for (int i = 0, n = sim.SimClearedCount(); i < n; ++i) {
      SimDelivery d{};
      sim.SimGetCleared(i, &d);
      const bool byRule = d.hoseId == 12 || d.volume < 0.001;
      EXPECT_TRUE(handedOver.count(CodeText(d.code)) || byRule)
          << "failing call " << failAt << ": " << CodeText(d.code)
          << " cleared without being handed over";
      EXPECT_FALSE(handedOver.count(CodeText(d.code)) && byRule);
    }
    return sim.SimCountCalls("*");
  };
  const int calls = session(0);
  ASSERT_GT(calls, 20);
  for (int failAt = 1; failAt <= calls; ++failAt) session(failAt);
  std::printf("sweep: each of %d client calls failed in turn\n", calls);
}

// A host polling and confirming 1,000 random deliveries while client calls
// fail at random and the connection drops: at the end every delivery was
// handed over and confirmed, discarded by a rule, or is still waiting in the
// controller; none was cleared otherwise.
TEST_F(Deliveries, NoDeliveryIsLostInAStreamWithFaults) {
  driver.ParaGravacaoLog();
  ASSERT_TRUE(Start());
  std::mt19937 random(20261205);
  auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(random) < p; };
  const double volumes[] = {0.0004, 0.001, 0.002, 0.5, 1, 12.345, 40.01, 99.999};
  const double prices[] = {0, 0, 3, 4.299, 5.799, 6.5};
  std::map<std::string, SimDelivery> added;  // by code, as the host sees it
  for (int i = 1; i <= 1000; ++i) {
    double volume = volumes[random() % 8];
    double price = prices[random() % 6];
    SimDelivery d = MakeDelivery(11 + random() % 6, volume, price,
                                 std::round(volume * price * 100) / 100);
    d.code = 0x100000000LL + i;  // nine hex digits: its text is the key
    d.state = chance(0.1) ? 1 : 2;
    d.type = 1 + random() % 3;
    d.lockedBy = chance(0.05) ? 42 : -1;
    ASSERT_GT(sim.SimAddDelivery(&d), 0);
    added[CodeText(d.code)] = d;
  }
  const char* faultable[] = {"TestConnection", "GetDeliveriesCount",
                             "GetDeliveryByOrdinal", "GetDeliveryPropertiesEx2",
                             "LockDelivery", "ClearDelivery", "ClientLogonEx"};
  std::set<std::string> confirmed;  // codes the host stored and confirmed
  int idlePolls = 0;
  for (int poll = 0; poll < 20000 && idlePolls < 50; ++poll) {
    if (chance(0.05))
      sim.SimFailCall(faultable[random() % 7], 1 + random() % 3, 1 + random() % 9);
    if (chance(0.01)) sim.SimSetConnected(0);
    auto out = Blank();
    if (driver.ObtemAbastecimento(out)) {
      idlePolls = 0;
      ASSERT_TRUE(added.count(out.text9)) << out.text9;
      const SimDelivery& d = added[out.text9];
      ASSERT_EQ(std::string(out.numeroLogico), std::to_string(d.hoseId));
      ASSERT_FALSE(DiscardedByRule(d)) << out.text9;
      // A careful host confirms until the controller accepts it.
      for (int tries = 0; tries < 5; ++tries)
        if (driver.ConfirmaAbastecimento()) {
          confirmed.insert(out.text9);
          break;
        }
      continue;
    }
    ++idlePolls;
    // The controller releases what another client held, now and then.
    SimDelivery head{};
    if (sim.SimGetDelivery(0, &head) == SIM_OK && head.lockedBy == 42 && chance(0.3))
      sim.SimSetDeliveryLock(head.id, -1);
  }
  sim.SimClearFaults();

  int handedOverCleared = 0, discarded = 0;
  for (int i = 0, n = sim.SimClearedCount(); i < n; ++i) {
    SimDelivery d{};
    ASSERT_EQ(sim.SimGetCleared(i, &d), SIM_OK);
    std::string code = CodeText(d.code);
    if (confirmed.count(code))
      ++handedOverCleared;
    else if (DiscardedByRule(added[code]))
      ++discarded;
    else
      ADD_FAILURE() << "cleared without being handed over or discarded: " << code;
  }
  const int waiting = sim.SimDeliveryCount();
  EXPECT_EQ(handedOverCleared + discarded + waiting, 1000)
      << handedOverCleared << " handed over, " << discarded << " discarded, "
      << waiting << " waiting";
  EXPECT_GT(handedOverCleared, 300);
  EXPECT_GT(discarded, 100);
  std::printf("stream: %d handed over and cleared, %d discarded, %d waiting\n",
              handedOverCleared, discarded, waiting);
}

// A host that polls and confirms from a timer and from its user interface at
// once, while deliveries keep arriving. The simulator records client calls in
// the order they reach it: each operation's calls must come as one block, and
// no poll may read a delivery that a confirmation before it has cleared.
class TwoThreads : public Deliveries {};

// The number between the parentheses of a recorded call.
int32_t Argument(const std::string& call) {
  return std::atoi(call.c_str() + call.find('(') + 1);
}

TEST_F(TwoThreads, NoDeliveryIsHandedOverAfterItsConfirmation) {
  ASSERT_TRUE(Start());
  driver.ParaGravacaoLog();  // the log writer would take turns for them
  sim.SimClearCalls();
  const int kDeliveries = 3000;
  std::atomic<bool> allAdded{false};
  std::atomic<int> unclean{0};
  std::vector<int32_t> seen[2];  // hand-overs, by the code the host was given
  auto host = [&](std::vector<int32_t>* handedOver) {
    KorvanDriver own;  // its own export table and call check
    for (int polls = 0; polls < 20000;) {
      if (sim.SimDeliveryCount() == 0) {  // keeps the record short
        if (allAdded) break;
        std::this_thread::yield();
        continue;
      }
      ++polls;
      KorvanDriver::Delivery out;
      if (!own.ObtemAbastecimento(out)) continue;
      handedOver->push_back(std::strtol(out.text9, nullptr, 16));
      own.ConfirmaAbastecimento();
    }
    if (!own.abiClean()) ++unclean;
  };
  std::thread timer(host, &seen[0]), userInterface(host, &seen[1]);
  for (int i = 1; i <= kDeliveries; ++i) {
    SimDelivery d = MakeDelivery(i % 2 ? 11 : 13, 10 + i % 7, 5, 50 + 5 * (i % 7));
    d.id = 1000 + i;
    d.code = d.id;
    AddDelivery(d);
  }
  allAdded = true;
  timer.join();
  userInterface.join();
  EXPECT_EQ(unclean, 0);
  ASSERT_EQ(WaitingCount(), 0);
  ASSERT_EQ(ClearedCount(), kDeliveries);

  const std::vector<std::string> calls = Calls();
  ASSERT_EQ(static_cast<int>(calls.size()), CountCalls("*")) << "record cut short";
  auto at = [&](size_t i) { return i < calls.size() ? calls[i] : "(end)"; };
  std::set<int32_t> cleared;
  std::multiset<int32_t> polled;  // hand-overs, as the record shows them
  int32_t remembered = 0;
  for (size_t i = 0; i < calls.size();) {
    const std::string& call = calls[i];
    if (call == "TestConnection()=0") {
      ASSERT_EQ(at(i + 1), "GetDeliveriesCount()=0") << "call " << i + 1;
      const std::string first = at(i + 2);
      ASSERT_TRUE(first == "GetDeliveryByOrdinal(1)=0" ||
                  first == "GetDeliveryByOrdinal(1)=4")
          << "call " << i + 2 << ": got " << first
          << ", wanted GetDeliveryByOrdinal(1)=0 or =4";
      if (first != "GetDeliveryByOrdinal(1)=0") {
        i += 3;
        continue;
      }
      remembered = Argument(at(i + 3));
      ASSERT_EQ(at(i + 3), "GetDeliveryPropertiesEx2(" +
                               std::to_string(remembered) + ")=0")
          << "call " << i + 3;
      EXPECT_EQ(cleared.count(remembered), 0u)
          << "delivery " << remembered << " handed over after its confirmation";
      polled.insert(remembered);
      i += 4;
    } else if (call.rfind("LockDelivery(", 0) == 0) {
      const int32_t id = Argument(call);
      EXPECT_EQ(id, remembered) << "call " << i << ": not the last handed over";
      if (call != "LockDelivery(" + std::to_string(id) + ")=0") {
        ++i;  // confirmed already, by the other thread
        continue;
      }
      ASSERT_EQ(at(i + 1), "ClearDelivery(" + std::to_string(id) + ",1)=0")
          << "call " << i + 1;
      cleared.insert(id);
      i += 2;
    } else {
      FAIL() << "call " << i << " begins no operation: " << call;
    }
  }
  std::multiset<int32_t> given(seen[0].begin(), seen[0].end());
  given.insert(seen[1].begin(), seen[1].end());
  EXPECT_EQ(given, polled) << "the hand-overs the host saw are the record's";
  std::printf("two threads: %zu and %zu hand-overs, %zu client calls\n",
              seen[0].size(), seen[1].size(), calls.size());
}

}  // namespace
