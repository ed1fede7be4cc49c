#include "tests/win/station.h"

void Station::SetUp() {
  ASSERT_TRUE(driver.loaded());
  ASSERT_TRUE(LoadSimControl(LoadLibraryA("QXClient.dll"), sim))
      << "QXClient.dll beside the test program is not the simulator";
  sim.SimReset();
  EnterFreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
  RemoveFile(IniPath());
  driver.IniciaGravacaoLog();
}

void Station::TearDown() {
  driver.ParaGravacaoLog();
  EXPECT_TRUE(driver.abiClean()) << "a call unbalanced the stack or registers";
}

void Station::AddPumps(int pumps, int hosesPerPump) {
  int ordinal = 0;
  for (int p = 1; p <= pumps; ++p) {
    SimPump pump{};
    pump.id = 100 + p;
    pump.number = p;
    pump.state = SIM_PUMP_IDLE;
    ASSERT_EQ(sim.SimAddPump(&pump), SIM_OK);
    for (int h = 1; h <= hosesPerPump; ++h) {
      SimHose hose{};
      hose.id = HoseIdOfOrdinal(++ordinal);
      hose.pumpId = pump.id;
      hose.price = 5.0 + ordinal / 10.0;
      hose.totalizer = 1000.0 * ordinal;
      ASSERT_EQ(sim.SimAddHose(&hose), SIM_OK);
    }
  }
}

bool Station::Start(const char* configuracao) {
  return driver.IniciaComunicacao("127.0.0.1", "", configuracao);
}

void Station::AddDelivery(const SimDelivery& delivery) {
  ASSERT_GT(sim.SimAddDelivery(&delivery), 0);
}

std::vector<std::string> Station::Calls() const {
  std::vector<std::string> calls;
  char text[512];
  for (int i = 0, n = sim.SimCallCount(); i < n; ++i) {
    sim.SimGetCall(i, text, sizeof text);
    calls.push_back(text);
  }
  return calls;
}

std::vector<std::string> Station::CallsNamed(const char* name) const {
  std::vector<std::string> named;
  std::string prefix = std::string(name) + "(";
  for (const auto& call : Calls())
    if (call.compare(0, prefix.size(), prefix) == 0) named.push_back(call);
  return named;
}

SimSession Station::ControllerSession() const {
  SimSession session{};
  sim.SimGetSession(&session);
  return session;
}
