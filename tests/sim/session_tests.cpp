// Logon, logoff, the line to the server, the call record and injected
// faults.

#include <thread>

#include "tests/sim/sim_fixture.h"

namespace {

class Session : public SimTest {};

TEST_F(Session, LogonRecordsItsArguments) {
  Bstr server(L"192.168.0.10");
  EXPECT_EQ(qx.ClientLogonEx(97, 7, server, 4464, 5124, 10000, 3, -1, 1025),
            0);
  EXPECT_EQ(LastCall(),
            "ClientLogonEx(97,7,\"192.168.0.10\",4464,5124,10000,3,-1,1025)=0");
  SimSession s{};
  ASSERT_EQ(sim.SimGetSession(&s), SIM_OK);
  EXPECT_EQ(s.loggedOn, 1);
  EXPECT_EQ(s.linkUp, 1);
  EXPECT_EQ(s.logons, 1);
  EXPECT_EQ(s.clientId, 97);
  EXPECT_EQ(s.clientType, 7);
  EXPECT_STREQ(s.serverAddress, "192.168.0.10");
  EXPECT_EQ(s.callPort, 4464);
  EXPECT_EQ(s.eventPort, 5124);
  EXPECT_EQ(s.timeout, 10000);
  EXPECT_EQ(s.handle, 3);
  EXPECT_EQ(s.hWnd, -1);
  EXPECT_EQ(s.hMsg, 1025);
}

TEST_F(Session, LogonAsTheDriverMakesIt) {
  EXPECT_EQ(Logon(), 0);
  EXPECT_EQ(CallAt(0),
            "ClientLogonEx(97,7,\"127.0.0.1\",5123,5124,10000,0,0,0)=0");
}

TEST_F(Session, ServerTextIsEscapedInTheRecord) {
  Bstr server(L"a\"b\\c\u00e9");
  EXPECT_EQ(qx.ClientLogonEx(97, 7, server, 1, 2, 3, 4, 5, 6), 0);
  EXPECT_EQ(LastCall(),
            "ClientLogonEx(97,7,\"a\\\"b\\\\c\\u00e9\",1,2,3,4,5,6)=0");
  EXPECT_EQ(qx.ClientLogonEx(97, 7, nullptr, 1, 2, 3, 4, 5, 6), 0);
  EXPECT_EQ(LastCall(), "ClientLogonEx(97,7,\"\",1,2,3,4,5,6)=0");
}

TEST_F(Session, CallsFailUntilLoggedOn) {
  int32_t count = kMark32;
  EXPECT_EQ(qx.TestConnection(), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.GetPumpsCount(&count), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(count, kMark32);
  EXPECT_EQ(qx.ClientLogoff(), SIM_ERR_NOT_CONNECTED);
  ASSERT_EQ(Logon(), 0);
  EXPECT_EQ(qx.TestConnection(), 0);
  EXPECT_EQ(qx.GetPumpsCount(&count), 0);
  EXPECT_EQ(count, 0);
}

TEST_F(Session, DroppedLineFailsEveryCallUntilRestored) {
  AddTwoPumps();
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimSetConnected(0), SIM_OK);
  int32_t n = kMark32, id = kMark32;
  EXPECT_EQ(qx.TestConnection(), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.GetPumpsCount(&n), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.ProcessEvents(), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.GetEventsCount(&n), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.GetDeliveriesCount(&n), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.GetDeliveryByOrdinal(1, &id), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.GetHoseByOrdinal(1, &id), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.Authorise(11), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.AllStop(), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(n, kMark32);
  EXPECT_EQ(id, kMark32);
  ASSERT_EQ(sim.SimSetConnected(1), SIM_OK);
  EXPECT_EQ(qx.TestConnection(), 0);
}

TEST_F(Session, NewLogonReconnectsADroppedLine) {
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimSetConnected(0), SIM_OK);
  EXPECT_EQ(qx.TestConnection(), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(Logon(), 0);
  EXPECT_EQ(qx.TestConnection(), 0);
  SimSession s{};
  ASSERT_EQ(sim.SimGetSession(&s), SIM_OK);
  EXPECT_EQ(s.logons, 2);
  EXPECT_EQ(s.linkUp, 1);
}

TEST_F(Session, InjectedLogonFaultKeepsTheLineDown) {
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimSetConnected(0), SIM_OK);
  ASSERT_EQ(sim.SimFailCall("ClientLogonEx", 0, 1001), SIM_OK);
  EXPECT_EQ(Logon(), 1001);
  EXPECT_EQ(Logon(), 1001);
  EXPECT_EQ(qx.TestConnection(), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(LastCall(), "TestConnection()=1");
  ASSERT_EQ(sim.SimClearFaults(), SIM_OK);
  EXPECT_EQ(Logon(), 0);
  EXPECT_EQ(qx.TestConnection(), 0);
}

TEST_F(Session, LogoffEndsTheSession) {
  ASSERT_EQ(Logon(), 0);
  EXPECT_EQ(qx.ClientLogoff(), 0);
  EXPECT_EQ(qx.TestConnection(), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(qx.ClientLogoff(), SIM_ERR_NOT_CONNECTED);
  SimSession s{};
  ASSERT_EQ(sim.SimGetSession(&s), SIM_OK);
  EXPECT_EQ(s.loggedOn, 0);
  EXPECT_EQ(Logon(), 0);
  EXPECT_EQ(qx.TestConnection(), 0);
}

TEST_F(Session, RecordKeepsOrderArgumentsAndResults) {
  AddTwoPumps();
  ASSERT_EQ(Logon(), 0);
  int32_t id = 0;
  EXPECT_EQ(qx.GetHoseByOrdinal(3, &id), 0);
  EXPECT_EQ(qx.SetHosePrices(id, 2, 1, 3.459, 3.459), 0);
  EXPECT_EQ(qx.SetHosePrices(id, 2, 1, 0.1 + 0.2, 1e-7), 0);
  EXPECT_EQ(qx.LockDelivery(4242), SIM_ERR_NOT_FOUND);
  EXPECT_EQ(qx.ClearDelivery(4242, -3), SIM_ERR_NOT_FOUND);
  EXPECT_EQ(qx.TempStop(12), 0);
  const std::vector<std::string> expected = {
      "ClientLogonEx(97,7,\"127.0.0.1\",5123,5124,10000,0,0,0)=0",
      "GetHoseByOrdinal(3)=0",
      "SetHosePrices(41,2,1,3.459,3.459)=0",
      "SetHosePrices(41,2,1,0.30000000000000004,1e-07)=0",
      "LockDelivery(4242)=3",
      "ClearDelivery(4242,-3)=3",
      "TempStop(12)=0"};
  EXPECT_EQ(Calls(), expected);
  EXPECT_EQ(sim.SimCountCalls("SetHosePrices"), 2);
  EXPECT_EQ(sim.SimCountCalls("*"), 7);
  EXPECT_EQ(sim.SimCountCalls("AllStop"), 0);
}

TEST_F(Session, GetCallCopiesWhatFitsAndTellsTheLength) {
  ASSERT_EQ(Logon(), 0);
  const std::string full =
      "ClientLogonEx(97,7,\"127.0.0.1\",5123,5124,10000,0,0,0)=0";
  char small[8];
  memset(small, 'x', sizeof small);
  EXPECT_EQ(sim.SimGetCall(0, small, sizeof small),
            static_cast<int32_t>(full.size()));
  EXPECT_STREQ(small, "ClientL");
  EXPECT_EQ(sim.SimGetCall(0, nullptr, 0), static_cast<int32_t>(full.size()));
  EXPECT_EQ(sim.SimGetCall(1, small, sizeof small), -1);
  EXPECT_EQ(sim.SimGetCall(-1, small, sizeof small), -1);
  EXPECT_EQ(sim.SimClearCalls(), SIM_OK);
  EXPECT_EQ(sim.SimCallCount(), 0);
  EXPECT_EQ(sim.SimCountCalls("ClientLogonEx"), 0);
}

TEST_F(Session, RecordingOffRecordsNothingButFaultsStillFire) {
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimSetRecording(0), SIM_OK);
  ASSERT_EQ(sim.SimFailCall("TestConnection", 1, 77), SIM_OK);
  EXPECT_EQ(qx.TestConnection(), 77);
  EXPECT_EQ(qx.TestConnection(), 0);
  EXPECT_EQ(sim.SimCallCount(), 1) << LastCall();
  EXPECT_EQ(sim.SimCountCalls("*"), 1);
  ASSERT_EQ(sim.SimSetRecording(1), SIM_OK);
  EXPECT_EQ(qx.TestConnection(), 0);
  EXPECT_EQ(LastCall(), "TestConnection()=0");
  ASSERT_EQ(sim.SimSetRecording(0), SIM_OK);
  ASSERT_EQ(sim.SimReset(), SIM_OK);
  ASSERT_EQ(Logon(), 0);
  EXPECT_EQ(sim.SimCallCount(), 1) << "SimReset turns recording back on";
}

TEST_F(Session, NthCallFaultFiresOnceThenCallsWorkAgain) {
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimFailCall("GetDeliveriesCount", 3, 77), SIM_OK);
  int32_t n = kMark32;
  EXPECT_EQ(qx.GetDeliveriesCount(&n), 0);
  EXPECT_EQ(qx.TestConnection(), 0);  // other names do not count
  EXPECT_EQ(qx.GetDeliveriesCount(&n), 0);
  n = kMark32;
  EXPECT_EQ(qx.GetDeliveriesCount(&n), 77);
  EXPECT_EQ(n, kMark32) << "a failed call writes no output";
  EXPECT_EQ(LastCall(), "GetDeliveriesCount()=77");
  EXPECT_EQ(qx.GetDeliveriesCount(&n), 0);
  EXPECT_EQ(n, 0);
}

TEST_F(Session, FaultOnAnyNameCountsEveryCall) {
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimFailCall("*", 2, 55), SIM_OK);
  EXPECT_EQ(qx.TestConnection(), 0);
  EXPECT_EQ(qx.DllVersion(), 55);
  EXPECT_EQ(qx.TestConnection(), 0);
}

TEST_F(Session, EveryCallFaultLastsUntilCleared) {
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimFailCall("TestConnection", 0, -5), SIM_OK);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(qx.TestConnection(), -5) << "call " << i;
  ASSERT_EQ(sim.SimClearFaults(), SIM_OK);
  EXPECT_EQ(qx.TestConnection(), 0);
}

TEST_F(Session, FailCallRefusesUnknownNamesAndCodeZero) {
  EXPECT_EQ(sim.SimFailCall("TestConnexion", 0, 5), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(sim.SimFailCall(nullptr, 0, 5), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(sim.SimFailCall("TestConnection", 0, 0), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(sim.SimFailCall("TestConnection", -1, 5), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(sim.SimFailCall("SimReset", 0, 5), SIM_ERR_BAD_ARGUMENT);
}

TEST_F(Session, HostsMayCallFromManyThreads) {
  AddTwoPumps();
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimClearCalls(), SIM_OK);
  constexpr int kThreads = 4, kCalls = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < kCalls; ++i) {
        int32_t n = 0;
        qx.GetPumpsCount(&n);
        qx.TempStop(11);
        qx.ReAuthorise(11);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(sim.SimCountCalls("GetPumpsCount"), kThreads * kCalls);
  EXPECT_EQ(sim.SimCallCount(), 3 * kThreads * kCalls);
  SimPump pump{};
  ASSERT_EQ(sim.SimGetPump(1, &pump), SIM_OK);
  EXPECT_TRUE(pump.state == SIM_PUMP_IDLE || pump.state == SIM_PUMP_STOPPED)
      << pump.state;
}

}  // namespace
