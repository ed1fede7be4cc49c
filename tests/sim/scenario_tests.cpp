// Scenario files: reading them and their errors, their happenings on the clock, the load at logon.
#include "tests/common/fixture.h"

namespace {

const char kSmallStation[] =
    "# two pumps\n"
    "clock 2026-12-05 14:35:00\n"
    "grade 1 name \"Gasolina Comum\" short GC\n"
    "pump 1 id 11 name \"Bomba 1\"\n"
    "pump 2 id 12 state stopped\n"
    "hose 31 pump 1 grade 1 price 5.799 totalizer 1000\n"
    "hose 21 pump 2 price 6.5 price2 6.6 totalizer 50 number 4 tank 9\n"
    "delivery hose 21 volume 3 id 700 lockedby 5 code 0xFF type 2\n"
    "at 5s delivery hose 31 volume 12.5\n"
    "delivery at 2s hose 31 volume 1 price 4 amount 4.5 start 10 end 11\n"
    "at 3s pump 1 state calling hose 31\n"
    "pump 1 state 8 at 4s\n"
    "at 4.5s event 3\n"
    "link down at 10s\n"
    "link up at 12s\n"
    "fail ClearDelivery code 6 call 2\n";

class Scenarios : public Simulated {
 protected:
  std::string LoadText(const std::string& text, int32_t* line = nullptr) {
    char error[512] = "(not written)";
    const int32_t n = sim.SimLoadScenarioText(text.c_str(), error, sizeof error);
    if (line) *line = n;
    return error;
  }
  std::string Delivery(int index) {
    SimDelivery d{};
    if (sim.SimGetDelivery(index, &d) != SIM_OK) return "<none>";
    char text[160];
    std::snprintf(text, sizeof text, "%d hose %d %g at %g, %g to %g, lock %d code %lld type %d",
                  d.id, d.hoseId, d.volume, d.unitPrice, d.startTotalizer, d.endTotalizer,
                  d.lockedBy, static_cast<long long>(d.code), d.type);
    return text;
  }
  std::string Pump(int number) {
    SimPump p{};
    if (sim.SimGetPump(number, &p) != SIM_OK) return "<none>";
    return std::to_string(p.id) + " " + p.name + " state " + std::to_string(p.state);
  }
  static std::string ExampleStation() { return ExeFolder() + "scenarios\\station.scenario"; }
};

TEST_F(Scenarios, SmallStationLoadsAndItsHappeningsComeInTime) {
  int32_t line = -2;
  EXPECT_EQ(LoadText(kSmallStation, &line), "");
  EXPECT_EQ(line, 0);
  EXPECT_EQ(Pump(1), "11 Bomba 1 state " + std::to_string(SIM_PUMP_IDLE));
  EXPECT_EQ(Pump(2), "12 Pump 2 state " + std::to_string(SIM_PUMP_STOPPED));
  SimHose hose{};
  ASSERT_EQ(sim.SimGetHose(21, &hose), SIM_OK);
  EXPECT_EQ(std::vector<double>({double(hose.pumpId), double(hose.number), double(hose.tankId),
                                 hose.price, hose.price2, double(hose.ordinal)}),
            std::vector<double>({12, 4, 9, 6.5, 6.6, 2}));
  ASSERT_EQ(sim.SimDeliveryCount(), 1) << "the others come later";
  EXPECT_EQ(Delivery(0), "700 hose 21 3 at 6.5, 50 to 53, lock 5 code 255 type 2");
  SimDelivery d{};
  sim.SimGetDelivery(0, &d);
  EXPECT_NEAR(d.completedDate, 46361.0 + (14 * 60 + 35) / 1440.0, 1e-9);

  ASSERT_EQ(Logon(), 0);
  EXPECT_EQ(sim.SimClockSeconds(), 0.0);
  ASSERT_EQ(sim.SimAdvanceClock(2), SIM_OK);
  EXPECT_EQ(Delivery(1), "1001 hose 31 1 at 4, 10 to 11, lock -1 code 0 type 1");
  sim.SimGetDelivery(1, &d);
  EXPECT_NEAR(d.completedDate, 46361.0 + (14 * 3600 + 35 * 60 + 2) / 86400.0, 1e-9);
  ASSERT_EQ(sim.SimAdvanceClock(3), SIM_OK);  // 5 s
  EXPECT_EQ(sim.SimEventCount(), 3) << "two pump changes and a server event";
  EXPECT_EQ(Pump(1), "11 Bomba 1 state " + std::to_string(SIM_PUMP_DELIVERING));
  EXPECT_EQ(Delivery(2), "1002 hose 31 12.5 at 5.799, 1000 to 1012.5, lock -1 code 0 type 1");
  ASSERT_EQ(sim.SimAdvanceClock(5), SIM_OK);  // 10 s
  EXPECT_EQ(SIM_ENTRY(TestConnection)(), SIM_ERR_NOT_CONNECTED);
  ASSERT_EQ(sim.SimAdvanceClock(2), SIM_OK);  // 12 s
  EXPECT_EQ(SIM_ENTRY(TestConnection)(), 0);
  // The fail line: the second ClearDelivery fails.
  ASSERT_EQ(sim.SimSetDeliveryLock(700, 97), SIM_OK);
  EXPECT_EQ(SIM_ENTRY(ClearDelivery)(700, 3), SIM_ERR_TYPE_MISMATCH);
  EXPECT_EQ(SIM_ENTRY(ClearDelivery)(700, 2), 6);
  EXPECT_EQ(SIM_ENTRY(ClearDelivery)(700, 2), 0);
}

// A bad line: its number and message, kept for SimScenarioError, and the forecourt left as it was.
TEST_F(Scenarios, ABadLineIsNamedWithItsFault) {
  AddPumps(sim, 1);
  const struct {
    const char* text;
    int32_t line;
    const char* message;
  } rows[] = {
      {"pmp 1", 1,
       "line 1: 'pmp' does not start a line; lines start with clock, grade, pump, hose, delivery, "
       "event, link, fail or at"},
      {"pump 1\nhose 31 pump 1 price 5\ndelivery hose 31 volme 12.5", 3,
       "line 3: 'volme' does not belong in a delivery line; it takes at, hose, volume, price, "
       "amount, id, state, type, lockedby, code, duration, level, attendant, start, end"},
      {"pump 1\nhose 31 pump 1 price 5\ndelivery hose 31", 3,
       "line 3: a delivery line needs 'volume'"},
      {"pump 1\nhose 31 pump 1 price 5,8", 2, "line 2: '5,8' is not a number (price)"},
      {"hose 31 pump 1 price 5", 1, "line 1: pump 1 is not defined above"},
      {"pump 1\npump 1", 2,
       "line 2: pump 1 is defined twice (first on line 1); to change its state later give a "
       "time, as in 'pump 1 state calling at 5s'"},
      {"pump 1\nat 3x pump 1 state idle", 2,
       "line 2: '3x' is not a time such as 5s, 1.5s, 500ms or 2m (at)"},
      {"pump 1\npump 1 state runing at 2s", 2,
       "line 2: 'runing' is not a pump state: give a number or one of unknown, not-installed, "
       "not-responding, stopped, idle, authorised, reserved, calling, delivering, "
       "delivery-stopped, calling-stacked, starting, finishing, finished, locked, error"},
      {"pump 1 name \"Bomba 1", 1, "line 1: a text in quotes is not closed"},
      {"pump 1 id", 1, "line 1: 'id' needs a value after it"},
      {"clock 2026-02-30 10:00", 1, "line 1: '2026-02-30' is not a day of the calendar"},
      {"at 5s hose 31 pump 1 price 5", 1,
       "line 1: 'at' does not apply to a hose line: it is there from the start"},
      {"fail ClearDelivry code 6", 1,
       "line 1: 'ClearDelivry' is not an entry point of the library"},
      {"fail ClearDelivery code 0", 1, "line 1: code 0 is success, not a failure"},
      {"event 1 at 2s", 1, "line 1: type 1 is a pump event: write 'pump N state S at T'"},
      {"link sideways", 1, "line 1: 'sideways' is neither 'up' nor 'down'"},
      {"pump 1\nhose 31 pump 1 price 5\ndelivery hose 31 volume 1 start 5", 3,
       "line 3: 'start' and 'end' go together"},
      {"pump 1\n\n# fine so far\nhose 31 pump 1 price 5 price 6", 4,
       "line 4: 'price' is given twice"},
  };
  for (const auto& bad : rows) {
    SCOPED_TRACE(bad.text);
    int32_t line = 0;
    EXPECT_EQ(LoadText(bad.text, &line), bad.message);
    EXPECT_EQ(line, bad.line);
    char kept[256] = "";
    EXPECT_EQ(sim.SimScenarioError(kept, sizeof kept), static_cast<int32_t>(strlen(bad.message)));
    EXPECT_STREQ(kept, bad.message);
    SimHose hose{};
    EXPECT_EQ(sim.SimGetHose(11, &hose), SIM_OK) << "a failed load leaves the forecourt as it was";
  }
}

TEST_F(Scenarios, CommentsBlankLinesAndCarriageReturnsAreFine) {
  EXPECT_EQ(LoadText("\xEF\xBB\xBF# station\r\n\r\n  pump 1 id 5 # first\r\n"
                     "hose 9 pump 1 price 2.5\r\n"),
            "");
  EXPECT_EQ(Pump(1), "5 Pump 1 state " + std::to_string(SIM_PUMP_IDLE));
  char error[256] = "";
  EXPECT_EQ(sim.SimLoadScenario("no-such-folder\\none.scenario", error, sizeof error), -1);
  EXPECT_STREQ(error, "no-such-folder\\none.scenario: cannot be read");
}

// Armed, the first logon loads the named scenario; a bad one fails every
// logon until it is fixed; after a reset nothing is loaded.
TEST_F(Scenarios, LoadAtLogon) {
  const std::string bad = ExeFolder() + "sim-test-bad.scenario";
  WriteFile(bad, "pump 1\npump two\n");
  auto logonWith = [&](const std::string& path) {
    SetEnvironmentVariableA("QXSIM_SCENARIO", path.c_str());
    const int32_t result = Logon();
    SetEnvironmentVariableA("QXSIM_SCENARIO", nullptr);
    return result;
  };
  ASSERT_EQ(sim.SimSetAutoLoad(1), SIM_OK);
  EXPECT_EQ(logonWith(bad), SIM_ERR_SCENARIO);
  EXPECT_EQ(logonWith(bad), SIM_ERR_SCENARIO) << "it tries again at every logon";
  char error[256] = "";
  sim.SimScenarioError(error, sizeof error);
  EXPECT_EQ(std::string(error), bad + ":2: 'two' is not a whole number (pump number)");
  EXPECT_EQ(SIM_ENTRY(TestConnection)(), SIM_ERR_NOT_CONNECTED);
  RemoveFile(bad);
  EXPECT_EQ(logonWith(ExampleStation()), 0);
  EXPECT_NE(Pump(4), "<none>");

  sim.SimReset();
  EXPECT_EQ(logonWith(ExampleStation()), 0);
  EXPECT_EQ(Pump(1), "<none>") << "the reset disarmed the load";
}

}  // namespace
