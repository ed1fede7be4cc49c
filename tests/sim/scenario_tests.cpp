// Scenario files: reading them, the clock that brings their happenings, the
// example station, and the load at the first logon.

#include <cmath>

#include "tests/sim/sim_fixture.h"

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

using Scenarios = SimTest;

TEST_F(Scenarios, SmallStationLoads) {
  int32_t line = -2;
  EXPECT_EQ(LoadText(kSmallStation, &line), "");
  EXPECT_EQ(line, 0);
  SimPump pump{};
  ASSERT_EQ(sim.SimGetPump(1, &pump), SIM_OK);
  EXPECT_EQ(pump.id, 11);
  EXPECT_STREQ(pump.name, "Bomba 1");
  EXPECT_EQ(pump.state, SIM_PUMP_IDLE);
  ASSERT_EQ(sim.SimGetPump(2, &pump), SIM_OK);
  EXPECT_EQ(pump.state, SIM_PUMP_STOPPED);
  EXPECT_STREQ(pump.name, "Pump 2");
  SimHose hose{};
  ASSERT_EQ(sim.SimGetHose(21, &hose), SIM_OK);
  EXPECT_EQ(hose.pumpId, 12);
  EXPECT_EQ(hose.number, 4);
  EXPECT_EQ(hose.tankId, 9);
  EXPECT_EQ(hose.price, 6.5);
  EXPECT_EQ(hose.price2, 6.6);
  EXPECT_EQ(hose.ordinal, 2);
  ASSERT_EQ(sim.SimDeliveryCount(), 1) << "the others come later";
  SimDelivery d{};
  ASSERT_EQ(sim.SimGetDelivery(0, &d), SIM_OK);
  EXPECT_EQ(d.id, 700);
  EXPECT_EQ(d.lockedBy, 5);
  EXPECT_EQ(d.code, 255);
  EXPECT_EQ(d.type, 2);
  EXPECT_EQ(d.unitPrice, 6.5);
  EXPECT_EQ(d.amount, 19.5);
  EXPECT_EQ(d.startTotalizer, 50.0);
  EXPECT_EQ(d.endTotalizer, 53.0);
  // 5 Dec 2026 14:35:00
  EXPECT_NEAR(d.completedDate, 46361.0 + (14 * 60 + 35) / 1440.0, 1e-9);
}

TEST_F(Scenarios, HappeningsComeWhenTheirTimeHasCome) {
  ASSERT_EQ(LoadText(kSmallStation), "");
  ASSERT_EQ(Logon(), 0);
  EXPECT_EQ(sim.SimClockSeconds(), 0.0);
  EXPECT_EQ(sim.SimDeliveryCount(), 1);

  ASSERT_EQ(sim.SimAdvanceClock(2), SIM_OK);
  ASSERT_EQ(sim.SimDeliveryCount(), 2);
  SimDelivery d{};
  ASSERT_EQ(sim.SimGetDelivery(1, &d), SIM_OK);
  EXPECT_EQ(d.id, 1001) << "numbering starts at 1001, above 700";
  EXPECT_EQ(d.unitPrice, 4.0);
  EXPECT_EQ(d.amount, 4.5);
  EXPECT_EQ(d.startTotalizer, 10.0);
  EXPECT_EQ(d.endTotalizer, 11.0);
  EXPECT_NEAR(d.completedDate,
              46361.0 + (14 * 3600 + 35 * 60 + 2) / 86400.0, 1e-9);

  ASSERT_EQ(sim.SimAdvanceClock(3), SIM_OK);  // 5 s
  const std::vector<std::string> expected = {"1:7", "1:8", "type 3"};
  EXPECT_EQ(Drain(), expected);
  ASSERT_EQ(sim.SimDeliveryCount(), 3);
  ASSERT_EQ(sim.SimGetDelivery(2, &d), SIM_OK);
  EXPECT_EQ(d.hoseId, 31);
  EXPECT_EQ(d.amount, 72.49);
  EXPECT_EQ(d.startTotalizer, 1000.0);
  EXPECT_EQ(d.endTotalizer, 1012.5);

  ASSERT_EQ(sim.SimAdvanceClock(5), SIM_OK);  // 10 s
  EXPECT_EQ(qx.TestConnection(), SIM_ERR_NOT_CONNECTED);
  ASSERT_EQ(sim.SimAdvanceClock(2), SIM_OK);  // 12 s
  EXPECT_EQ(qx.TestConnection(), 0);
}

TEST_F(Scenarios, FailLinesBecomeFaults) {
  ASSERT_EQ(LoadText(kSmallStation), "");
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimSetDeliveryLock(700, 97), SIM_OK);
  EXPECT_EQ(qx.ClearDelivery(700, 3), SIM_ERR_TYPE_MISMATCH);
  EXPECT_EQ(qx.ClearDelivery(700, 2), 6) << "second call fails";
  EXPECT_EQ(qx.ClearDelivery(700, 2), 0);
}

TEST_F(Scenarios, RealTimeMovesTheClockAfterLogon) {
  ASSERT_EQ(LoadText("pump 1\nhose 1 pump 1 price 1\n"
                     "at 0.05s delivery hose 1 volume 1\n"),
            "");
  ASSERT_EQ(sim.SimUseRealTime(1), SIM_OK);
  Sleep(100);
  EXPECT_EQ(sim.SimClockSeconds(), 0.0) << "the clock starts at logon";
  ASSERT_EQ(Logon(), 0);
  Sleep(150);
  int32_t n = 0;
  EXPECT_EQ(qx.GetDeliveriesCount(&n), 0);
  EXPECT_EQ(n, 1);
  EXPECT_GT(sim.SimClockSeconds(), 0.05);
}

struct BadText {
  const char* text;
  int32_t line;
  const char* message;
};

class BadScenario : public SimTest,
                    public ::testing::WithParamInterface<BadText> {};

TEST_P(BadScenario, NamesTheLineAndTheFault) {
  AddTwoPumps();
  const BadText& bad = GetParam();
  int32_t line = 0;
  const std::string error = LoadText(bad.text, &line);
  EXPECT_EQ(line, bad.line) << bad.text;
  EXPECT_EQ(error, bad.message) << bad.text;
  char kept[256] = "";
  EXPECT_EQ(sim.SimScenarioError(kept, sizeof kept),
            static_cast<int32_t>(strlen(bad.message)));
  EXPECT_STREQ(kept, bad.message);
  SimHose hose{};
  EXPECT_EQ(sim.SimGetHose(41, &hose), SIM_OK)
      << "a failed load leaves the forecourt as it was";
}

const char kBase[] = "pump 1 id 11\nhose 31 pump 1 price 5\n";

INSTANTIATE_TEST_SUITE_P(
    Lines, BadScenario,
    ::testing::Values(
        BadText{"pmp 1", 1,
                "line 1: 'pmp' does not start a line; lines start with clock, "
                "grade, pump, hose, delivery, event, link, fail or at"},
        BadText{"pump 1\nhose 31 pump 1 price 5\n"
                "delivery hose 31 volme 12.5", 3,
                "line 3: 'volme' does not belong in a delivery line; it takes "
                "at, hose, volume, price, amount, id, state, type, lockedby, "
                "code, duration, level, attendant, start, end"},
        BadText{"pump 1\nhose 31 pump 1 price 5\ndelivery hose 31", 3,
                "line 3: a delivery line needs 'volume'"},
        BadText{"pump 1\nhose 31 pump 1 price 5,8", 2,
                "line 2: '5,8' is not a number (price)"},
        BadText{"hose 31 pump 1 price 5", 1,
                "line 1: pump 1 is not defined above"},
        BadText{"pump 1\npump 1", 2,
                "line 2: pump 1 is defined twice (first on line 1); to change "
                "its state later give a time, as in 'pump 1 state calling at "
                "5s'"},
        BadText{"pump 1\nat 3x pump 1 state idle", 2,
                "line 2: '3x' is not a time such as 5s, 1.5s, 500ms or 2m "
                "(at)"},
        BadText{"pump 1\npump 1 state runing at 2s", 2,
                "line 2: 'runing' is not a pump state: give a number or one "
                "of unknown, not-installed, not-responding, stopped, idle, "
                "authorised, reserved, calling, delivering, delivery-stopped, "
                "calling-stacked, starting, finishing, finished, locked, "
                "error"},
        BadText{"pump 1 name \"Bomba 1", 1,
                "line 1: a text in quotes is not closed"},
        BadText{"pump 1 id", 1, "line 1: 'id' needs a value after it"},
        BadText{"clock 2026-02-30 10:00", 1,
                "line 1: '2026-02-30' is not a day of the calendar"},
        BadText{"at 5s hose 31 pump 1 price 5", 1,
                "line 1: 'at' does not apply to a hose line: it is there from "
                "the start"},
        BadText{"fail ClearDelivry code 6", 1,
                "line 1: 'ClearDelivry' is not an entry point of the library"},
        BadText{"fail ClearDelivery code 0", 1,
                "line 1: code 0 is success, not a failure"},
        BadText{"event 1 at 2s", 1,
                "line 1: type 1 is a pump event: write 'pump N state S at T'"},
        BadText{"link sideways", 1, "line 1: 'sideways' is neither 'up' nor "
                                    "'down'"},
        BadText{"pump 1\nhose 31 pump 1 price 5\n"
                "delivery hose 31 volume 1 start 5", 3,
                "line 3: 'start' and 'end' go together"},
        BadText{"pump 1\n\n# fine so far\nhose 31 pump 1 price 5 price 6", 4,
                "line 4: 'price' is given twice"}));

TEST_F(Scenarios, CommentsBlankLinesAndCarriageReturnsAreFine) {
  EXPECT_EQ(LoadText("\xEF\xBB\xBF# station\r\n\r\n  pump 1 id 5 # first\r\n"
                     "hose 9 pump 1 price 2.5\r\n"),
            "");
  SimPump pump{};
  ASSERT_EQ(sim.SimGetPump(1, &pump), SIM_OK);
  EXPECT_EQ(pump.id, 5);
}

TEST_F(Scenarios, UnreadableFileIsReported) {
  char error[256] = "";
  EXPECT_EQ(sim.SimLoadScenario("no-such-folder\\none.scenario", error,
                                sizeof error),
            -1);
  EXPECT_STREQ(error, "no-such-folder\\none.scenario: cannot be read");
}

std::string ExampleStation() {
  return ProgramFolder() + "scenarios\\station.scenario";
}

TEST_F(Scenarios, ExampleStationRunsItsHalfMinute) {
  char error[256] = "(not written)";
  ASSERT_EQ(sim.SimLoadScenario(ExampleStation().c_str(), error, sizeof error),
            0)
      << error;
  EXPECT_STREQ(error, "");
  ASSERT_EQ(Logon(), 0);
  int32_t pumps = 0;
  EXPECT_EQ(qx.GetPumpsCount(&pumps), 0);
  EXPECT_EQ(pumps, 4);
  std::vector<int32_t> ids;
  for (int32_t ordinal = 1;; ++ordinal) {
    int32_t id = 0;
    if (qx.GetHoseByOrdinal(ordinal, &id) != 0) break;
    ids.push_back(id);
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{31, 32, 41, 42, 51, 52, 61, 62}));
  EXPECT_EQ(sim.SimDeliveryCount(), 1);
  const std::vector<std::string> atLogon = {"1:4", "2:4", "3:4", "4:4"};
  EXPECT_EQ(Drain(), atLogon);
  for (int second = 1; second <= 24; ++second) {
    ASSERT_EQ(sim.SimAdvanceClock(1), SIM_OK);
    EXPECT_EQ(qx.TestConnection(), 0) << "second " << second;
  }
  EXPECT_EQ(sim.SimDeliveryCount(), 6);
  ASSERT_EQ(sim.SimAdvanceClock(1), SIM_OK);
  EXPECT_EQ(qx.TestConnection(), SIM_ERR_NOT_CONNECTED) << "the line is down";
  EXPECT_EQ(Logon(), 0);
  EXPECT_EQ(qx.TestConnection(), 0);
}

TEST_F(Scenarios, FirstLogonLoadsTheNamedScenario) {
  ASSERT_EQ(sim.SimSetAutoLoad(1), SIM_OK);
  ASSERT_TRUE(SetEnvironmentVariableA("QXSIM_SCENARIO",
                                      ExampleStation().c_str()));
  const QXResult logon = Logon();
  SetEnvironmentVariableA("QXSIM_SCENARIO", nullptr);
  ASSERT_EQ(logon, 0);
  int32_t pumps = 0;
  EXPECT_EQ(qx.GetPumpsCount(&pumps), 0);
  EXPECT_EQ(pumps, 4);
}

TEST_F(Scenarios, BadScenarioAtLogonFailsTheLogonUntilFixed) {
  const std::string path = ProgramFolder() + "sim-test-bad.scenario";
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const char text[] = "pump 1\npump two\n";
  DWORD written = 0;
  WriteFile(file, text, sizeof text - 1, &written, nullptr);
  CloseHandle(file);

  ASSERT_EQ(sim.SimSetAutoLoad(1), SIM_OK);
  SetEnvironmentVariableA("QXSIM_SCENARIO", path.c_str());
  const QXResult first = Logon();
  const QXResult second = Logon();
  SetEnvironmentVariableA("QXSIM_SCENARIO", nullptr);
  DeleteFileA(path.c_str());
  EXPECT_EQ(first, SIM_ERR_SCENARIO);
  EXPECT_EQ(second, SIM_ERR_SCENARIO) << "it tries again at every logon";
  char error[256] = "";
  sim.SimScenarioError(error, sizeof error);
  EXPECT_EQ(std::string(error),
            path + ":2: 'two' is not a whole number (pump number)");
  EXPECT_EQ(qx.TestConnection(), SIM_ERR_NOT_CONNECTED);
  // With the load switched off, the forecourt is empty and in process.
  ASSERT_EQ(sim.SimSetAutoLoad(0), SIM_OK);
  EXPECT_EQ(Logon(), 0);
}

TEST_F(Scenarios, ResetSwitchesTheLoadAtLogonOff) {
  SetEnvironmentVariableA("QXSIM_SCENARIO", ExampleStation().c_str());
  const QXResult logon = Logon();
  SetEnvironmentVariableA("QXSIM_SCENARIO", nullptr);
  ASSERT_EQ(logon, 0);
  int32_t pumps = -1;
  EXPECT_EQ(qx.GetPumpsCount(&pumps), 0);
  EXPECT_EQ(pumps, 0);
}

}  // namespace
