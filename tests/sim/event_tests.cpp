// The event queue, pump events with their 41 outputs, and the pump commands
// that change pump states.

#include "tests/sim/sim_fixture.h"

namespace {

class Events : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AddTwoPumps();
    ASSERT_EQ(Logon(), 0);
  }

  int32_t Pending() {
    int32_t n = kMark32;
    EXPECT_EQ(qx.GetEventsCount(&n), 0);
    return n;
  }

  int32_t NextType() {
    int32_t type = kMark32;
    EXPECT_EQ(qx.GetNextEventType(&type), 0);
    return type;
  }

  int32_t StateOf(int32_t number) {
    SimPump pump{};
    EXPECT_EQ(sim.SimGetPump(number, &pump), SIM_OK);
    return pump.state;
  }
};

TEST_F(Events, EventsWaitForProcessEvents) {
  ASSERT_EQ(sim.SimQueuePumpEvent(2, 8), SIM_OK);
  EXPECT_EQ(Pending(), 0);
  EXPECT_EQ(sim.SimEventCount(), 1);
  EXPECT_EQ(qx.ProcessEvents(), 0);
  EXPECT_EQ(Pending(), 1);
}

TEST_F(Events, QueueKeepsOrderAndKinds) {
  ASSERT_EQ(sim.SimQueuePumpEvent(2, 8), SIM_OK);
  ASSERT_EQ(sim.SimQueueOtherEvent(SIM_EVENT_SERVER), SIM_OK);
  ASSERT_EQ(sim.SimQueuePumpEvent(1, 11), SIM_OK);
  ASSERT_EQ(sim.SimQueueOtherEvent(SIM_EVENT_DELIVERY), SIM_OK);
  const std::vector<std::string> expected = {"2:8", "type 3", "1:11",
                                             "type 2"};
  EXPECT_EQ(Drain(), expected);
  EXPECT_EQ(sim.SimEventCount(), 0);
}

TEST_F(Events, EmptyQueueAndWrongKindAreRefused) {
  int32_t type = kMark32;
  EXPECT_EQ(qx.GetNextEventType(&type), SIM_ERR_NO_EVENT);
  EXPECT_EQ(type, kMark32);
  EXPECT_EQ(qx.DiscardNextEvent(), SIM_ERR_NO_EVENT);
  PumpEventOut none;
  EXPECT_EQ(none.Get(qx), SIM_ERR_NO_EVENT);
  EXPECT_EQ(none.pumpNumber, kMark16);
  EXPECT_EQ(none.gradeName, nullptr);

  ASSERT_EQ(sim.SimQueueOtherEvent(SIM_EVENT_SERVER), SIM_OK);
  ASSERT_EQ(qx.ProcessEvents(), 0);
  PumpEventOut wrong;
  EXPECT_EQ(wrong.Get(qx), SIM_ERR_WRONG_EVENT);
  EXPECT_EQ(wrong.pumpNumber, kMark16);
  EXPECT_EQ(wrong.pumpName, nullptr);
  EXPECT_EQ(Pending(), 1) << "the other event stays at the head";
  EXPECT_EQ(qx.DiscardNextEvent(), 0);
  EXPECT_EQ(Pending(), 0);
}

TEST_F(Events, PumpEventFillsAll41Outputs) {
  ASSERT_EQ(sim.SimLoadScenarioText(
                "grade 3 name \"Etanol Hidratado\" short ET number 30\n"
                "pump 1 id 11 name \"Bomba 1\"\n"
                "hose 31 pump 1 grade 3 price 3.999\n"
                "hose 32 pump 1 grade 3 price 4.199\n"
                "delivery hose 31 volume 5\n"
                "pump 1 state delivering hose 32 volume 7.5 amount 31.49 "
                "at 0s\n",
                nullptr, 0),
            0);
  ASSERT_EQ(qx.ProcessEvents(), 0);
  ASSERT_EQ(Pending(), 1);
  EXPECT_EQ(NextType(), SIM_EVENT_PUMP);
  PumpEventOut e;
  ASSERT_EQ(e.Get(qx), 0);
  EXPECT_EQ(e.pumpId, 11);                                  // 1
  EXPECT_EQ(e.pumpNumber, 1);                               // 2
  EXPECT_EQ(e.pumpState, SIM_PUMP_DELIVERING);              // 3
  EXPECT_EQ(e.reservedFor, 0);                              // 4
  EXPECT_EQ(e.reservedBy, -1);                              // 5
  EXPECT_EQ(e.hoseId, 32);                                  // 6
  EXPECT_EQ(e.hoseNumber, 2);                               // 7
  EXPECT_EQ(e.gradeNumber, 30);                             // 8
  EXPECT_EQ(e.gradeId, 3);                                  // 9
  EXPECT_EQ(e.deliveryId, 0);                               // 10
  EXPECT_EQ(Narrow(e.gradeName), "Etanol Hidratado");       // 11
  EXPECT_EQ(Narrow(e.shortGradeName), "ET");                // 12
  EXPECT_EQ(e.priceLevel, 1);                               // 13
  EXPECT_EQ(e.price, 4.199);                                // 14
  EXPECT_EQ(e.volume, 7.5);                                 // 15
  EXPECT_EQ(e.value, 31.49);                                // 16
  EXPECT_EQ(e.stackSize, 1);                                // 17
  EXPECT_EQ(Narrow(e.pumpName), "Bomba 1");                 // 18
  EXPECT_EQ(e.physicalNumber, 1);                           // 19
  EXPECT_EQ(e.side, 1);                                     // 20
  EXPECT_EQ(e.address, 1);                                  // 21
  EXPECT_EQ(e.priceLevel1, 1);                              // 22
  EXPECT_EQ(e.priceLevel2, 2);                              // 23
  EXPECT_EQ(e.pumpType, 1);                                 // 24
  EXPECT_EQ(e.portId, 1);                                   // 25
  EXPECT_EQ(e.authMode, 0);                                 // 26
  EXPECT_EQ(e.stackMode, 1);                                // 27
  EXPECT_EQ(e.prepayAllowed, 1);                            // 28
  EXPECT_EQ(e.preauthAllowed, 1);                           // 29
  EXPECT_EQ(e.priceFormat, 3);                              // 30
  EXPECT_EQ(e.valueFormat, 2);                              // 31
  EXPECT_EQ(e.volumeFormat, 2);                             // 32
  EXPECT_EQ(e.tag, 0.0);                                    // 33
  EXPECT_EQ(e.attendantId, 0);                              // 34
  EXPECT_EQ(e.attendantNumber, 0);                          // 35
  ASSERT_NE(e.attendantName, nullptr);                      // 36
  EXPECT_EQ(SysStringLen(e.attendantName), 0u);
  EXPECT_EQ(e.attendantTag, 0.0);                           // 37
  EXPECT_EQ(e.cardClientId, 0);                             // 38
  EXPECT_EQ(e.cardClientNumber, 0);                         // 39
  ASSERT_NE(e.cardClientName, nullptr);                     // 40
  EXPECT_EQ(SysStringLen(e.cardClientName), 0u);
  EXPECT_EQ(e.cardClientTag, 0.0);                          // 41
  EXPECT_EQ(SysStringLen(e.pumpName), 7u) << "a real BSTR, length-prefixed";
  EXPECT_EQ(Pending(), 0) << "the event is consumed";
}

TEST_F(Events, PumpEventOfAnUnknownNumberGoesOutAsItIs) {
  ASSERT_EQ(sim.SimQueuePumpEvent(7, -1), SIM_OK);
  ASSERT_EQ(qx.ProcessEvents(), 0);
  PumpEventOut e;
  ASSERT_EQ(e.Get(qx), 0);
  EXPECT_EQ(e.pumpNumber, 7);
  EXPECT_EQ(e.pumpState, -1);
  EXPECT_EQ(e.pumpId, 0);
  EXPECT_EQ(Narrow(e.pumpName), "");
}

TEST_F(Events, QueuedPumpEventSetsThePumpsState) {
  ASSERT_EQ(sim.SimQueuePumpEvent(2, SIM_PUMP_CALLING), SIM_OK);
  EXPECT_EQ(StateOf(2), SIM_PUMP_CALLING);
}

TEST_F(Events, NoSessionNoEvents) {
  ASSERT_EQ(sim.SimQueuePumpEvent(1, 8), SIM_OK);
  ASSERT_EQ(qx.ClientLogoff(), 0);
  EXPECT_EQ(sim.SimEventCount(), 0);
  EXPECT_EQ(sim.SimQueuePumpEvent(1, 8), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(sim.SimQueueOtherEvent(3), SIM_ERR_NOT_CONNECTED);
  EXPECT_EQ(sim.SimQueueOtherEvent(SIM_EVENT_PUMP), SIM_ERR_BAD_ARGUMENT);
  ASSERT_EQ(Logon(), 0);
  EXPECT_EQ(sim.SimEventCount(), 0) << "a new session starts with no events";
}

TEST_F(Events, AuthoriseIdlePumpThenNozzleUp) {
  EXPECT_EQ(qx.Authorise(11), 0);
  EXPECT_EQ(StateOf(1), SIM_PUMP_AUTHORISED);
  EXPECT_EQ(qx.Authorise(11), 0) << "authorised already";
  EXPECT_EQ(Drain(), std::vector<std::string>{"1:5"});
}

TEST_F(Events, AuthoriseCallingPumpStartsTheDelivery) {
  ASSERT_EQ(sim.SimQueuePumpEvent(2, SIM_PUMP_CALLING), SIM_OK);
  EXPECT_EQ(qx.Authorise(12), 0);
  EXPECT_EQ(StateOf(2), SIM_PUMP_DELIVERING);
  const std::vector<std::string> expected = {"2:7", "2:8"};
  EXPECT_EQ(Drain(), expected);
  EXPECT_EQ(qx.Authorise(12), SIM_ERR_PUMP_STATE) << "already delivering";
}

TEST_F(Events, CommandsNameUnknownPumps) {
  EXPECT_EQ(qx.Authorise(1), SIM_ERR_NOT_FOUND) << "1 is a number, not an id";
  EXPECT_EQ(qx.TempStop(99), SIM_ERR_NOT_FOUND);
  EXPECT_EQ(qx.ReAuthorise(0), SIM_ERR_NOT_FOUND);
}

TEST_F(Events, TempStopAndReAuthoriseRestoreTheState) {
  ASSERT_EQ(sim.SimQueuePumpEvent(2, SIM_PUMP_DELIVERING), SIM_OK);
  EXPECT_EQ(qx.TempStop(12), 0);
  EXPECT_EQ(StateOf(2), SIM_PUMP_DELIVERY_STOPPED);
  EXPECT_EQ(qx.TempStop(11), 0);
  EXPECT_EQ(StateOf(1), SIM_PUMP_STOPPED);
  EXPECT_EQ(qx.TempStop(11), 0) << "stopped already";
  EXPECT_EQ(qx.Authorise(11), SIM_ERR_PUMP_STATE);
  EXPECT_EQ(qx.ReAuthorise(12), 0);
  EXPECT_EQ(StateOf(2), SIM_PUMP_DELIVERING);
  EXPECT_EQ(qx.ReAuthorise(11), 0);
  EXPECT_EQ(StateOf(1), SIM_PUMP_IDLE);
  EXPECT_EQ(qx.ReAuthorise(11), SIM_ERR_PUMP_STATE) << "not stopped";
  const std::vector<std::string> expected = {"2:8", "2:9", "1:3", "2:8",
                                             "1:4"};
  EXPECT_EQ(Drain(), expected);
}

TEST_F(Events, AllStopAndAllReAuthoriseTouchEveryPump) {
  ASSERT_EQ(sim.SimQueuePumpEvent(2, SIM_PUMP_CALLING), SIM_OK);
  ASSERT_EQ(qx.ProcessEvents(), 0);
  ASSERT_EQ(qx.DiscardNextEvent(), 0);
  EXPECT_EQ(qx.AllStop(), 0);
  EXPECT_EQ(StateOf(1), SIM_PUMP_STOPPED);
  EXPECT_EQ(StateOf(2), SIM_PUMP_STOPPED);
  EXPECT_EQ(qx.AllStop(), 0) << "no change, no events";
  EXPECT_EQ(qx.AllReAuthorise(), 0);
  EXPECT_EQ(StateOf(1), SIM_PUMP_IDLE);
  EXPECT_EQ(StateOf(2), SIM_PUMP_CALLING);
  EXPECT_EQ(qx.AllReAuthorise(), 0);
  const std::vector<std::string> expected = {"1:3", "2:3", "1:4", "2:7"};
  EXPECT_EQ(Drain(), expected);
}

TEST_F(Events, FaultyPumpIgnoresCommands) {
  ASSERT_EQ(sim.SimQueuePumpEvent(1, SIM_PUMP_ERROR), SIM_OK);
  EXPECT_EQ(qx.Authorise(11), SIM_ERR_PUMP_STATE);
  EXPECT_EQ(qx.TempStop(11), SIM_ERR_PUMP_STATE);
  EXPECT_EQ(qx.AllStop(), 0);
  EXPECT_EQ(StateOf(1), SIM_PUMP_ERROR);
}

}  // namespace
