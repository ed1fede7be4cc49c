// The simulator's control exports and fault injection, which the driver
// never calls: the record of calls, faults, and what a test may add.
#include "tests/common/fixture.h"

namespace {

using Control = Simulated;
using Results = std::vector<int32_t>;

TEST_F(Control, RecordGivesInputsInOrderAndTheResult) {
  AddPumps(sim, 2);
  ASSERT_EQ(Logon(L"a\"b\\c\u00e9"), 0);
  int32_t id = 0;
  SIM_ENTRY(GetHoseByOrdinal)(3, &id);
  SIM_ENTRY(SetHosePrices)(id, 2, 1, 0.1 + 0.2, 1e-7);
  SIM_ENTRY(ClearDelivery)(4242, -3);
  EXPECT_EQ(SIM_ENTRY(DllVersion)(), SIM_ERR_NOT_SUPPORTED);
  EXPECT_EQ(Calls(sim),
            Lines({"ClientLogonEx(97,7,\"a\\\"b\\\\c\\u00e9\",5123,5124,10000,0,0,0)=0",
                   "GetHoseByOrdinal(3)=0", "SetHosePrices(13,2,1,0.30000000000000004,1e-07)=0",
                   "ClearDelivery(4242,-3)=3", "DllVersion()=99"}));
  EXPECT_EQ(sim.SimCountCalls("SetHosePrices"), 1);
  EXPECT_EQ(sim.SimCountCalls("*"), 5);
  char small[8];
  EXPECT_EQ(sim.SimGetCall(1, small, sizeof small), 21);
  EXPECT_STREQ(small, "GetHose");
  EXPECT_EQ(sim.SimGetCall(5, small, sizeof small), -1);
  EXPECT_EQ(sim.SimGetCall(-1, small, sizeof small), -1);
  EXPECT_EQ(sim.SimClearCalls(), SIM_OK);
  EXPECT_EQ(sim.SimCallCount(), 0);
  EXPECT_EQ(sim.SimCountCalls("*"), 0);
}

TEST_F(Control, FaultsFailTheNthCallOrEveryCallWithoutEffect) {
  ASSERT_EQ(Logon(), 0);
  auto count = SIM_ENTRY(GetDeliveriesCount);
  auto test = SIM_ENTRY(TestConnection);
  // Other names do not count; the second call fails once, writing nothing.
  ASSERT_EQ(sim.SimFailCall("GetDeliveriesCount", 2, 77), SIM_OK);
  int32_t n = -5, failed = -5;
  EXPECT_EQ(Results({test(), count(&n), count(&failed), count(&n)}), Results({0, 0, 77, 0}));
  EXPECT_EQ(failed, -5) << "a failed call writes no output";
  ASSERT_EQ(sim.SimFailCall("*", 2, 55), SIM_OK);
  EXPECT_EQ(Results({test(), count(&n), test()}), Results({0, 55, 0}));
  ASSERT_EQ(sim.SimFailCall("TestConnection", 0, -5), SIM_OK);
  EXPECT_EQ(Results({test(), test(), test()}), Results({-5, -5, -5})) << "every call";
  ASSERT_EQ(sim.SimClearFaults(), SIM_OK);
  EXPECT_EQ(test(), 0);

  // A refused logon keeps the line down.
  ASSERT_EQ(sim.SimSetConnected(0), SIM_OK);
  ASSERT_EQ(sim.SimFailCall("ClientLogonEx", 0, 1001), SIM_OK);
  EXPECT_EQ(Results({Logon(), test()}), Results({1001, SIM_ERR_NOT_CONNECTED}));
  ASSERT_EQ(sim.SimClearFaults(), SIM_OK);
  EXPECT_EQ(Results({Logon(), test()}), Results({0, 0}));

  // With recording off nothing is recorded, faults still fire; a reset turns recording back on.
  ASSERT_EQ(sim.SimClearCalls(), SIM_OK);
  ASSERT_EQ(sim.SimSetRecording(0), SIM_OK);
  ASSERT_EQ(sim.SimFailCall("TestConnection", 1, 77), SIM_OK);
  EXPECT_EQ(Results({test(), test()}), Results({77, 0}));
  EXPECT_EQ(sim.SimCallCount() + sim.SimCountCalls("*"), 0);
  ASSERT_EQ(sim.SimReset(), SIM_OK);
  ASSERT_EQ(Logon(), 0);
  EXPECT_EQ(sim.SimCallCount(), 1) << "SimReset turns recording back on";

  for (auto [name, nth, code] : {std::tuple<const char*, int32_t, int32_t>{"TestConnexion", 0, 5},
                                 {nullptr, 0, 5},
                                 {"TestConnection", 0, 0},
                                 {"TestConnection", -1, 5},
                                 {"SimReset", 0, 5}}) {
    EXPECT_EQ(sim.SimFailCall(name, nth, code), SIM_ERR_BAD_ARGUMENT) << (name ? name : "null");
  }
}

TEST_F(Control, DeliveriesAndEventsAreAddedOnlyWhereTheyBelong) {
  AddPumps(sim, 1);  // pump 101, hoses 11 and 12
  SimDelivery d = SimDeliveryDefaults(99, 10);
  EXPECT_EQ(sim.SimAddDelivery(&d), -SIM_ERR_NOT_FOUND);
  d = SimDeliveryDefaults(11, 10);
  d.id = 1500;
  EXPECT_EQ(sim.SimAddDelivery(&d), 1500);
  EXPECT_EQ(sim.SimAddDelivery(&d), -SIM_ERR_BAD_ARGUMENT) << "id taken";
  EXPECT_EQ(sim.SimAddDelivery(nullptr), -SIM_ERR_BAD_ARGUMENT);
  d.id = 0;
  EXPECT_EQ(sim.SimAddDelivery(&d), 1501) << "numbering goes on after the largest";
  d.flags |= SIM_DELIVERY_GIVEN_ID;
  EXPECT_EQ(sim.SimAddDelivery(&d), 0);

  // Events need a session; pump events come from pumps.
  EXPECT_EQ(sim.SimQueuePumpEvent(1, 8), SIM_ERR_NOT_CONNECTED);
  ASSERT_EQ(Logon(), 0);
  EXPECT_EQ(sim.SimQueueOtherEvent(SIM_EVENT_PUMP), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(sim.SimQueueOtherEvent(SIM_EVENT_SERVER), SIM_OK);
  EXPECT_EQ(sim.SimEventCount(), 1);
}

}  // namespace
