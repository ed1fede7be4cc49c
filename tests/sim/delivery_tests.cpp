// The list of finished deliveries: order, properties, locking, clearing.

#include <cmath>

#include "tests/sim/sim_fixture.h"

namespace {

class Deliveries : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AddTwoPumps();
    ASSERT_EQ(Logon(), 0);
  }

  // The identifiers of the list, by GetDeliveryByOrdinal from 1 on.
  std::vector<int32_t> ListedIds() {
    std::vector<int32_t> ids;
    int32_t count = kMark32;
    EXPECT_EQ(qx.GetDeliveriesCount(&count), 0);
    for (int32_t ordinal = 1; ordinal <= count; ++ordinal) {
      int32_t id = kMark32;
      EXPECT_EQ(qx.GetDeliveryByOrdinal(ordinal, &id), 0) << ordinal;
      ids.push_back(id);
    }
    return ids;
  }
};

TEST_F(Deliveries, EmptyListAnswersNoDelivery) {
  int32_t count = kMark32, id = kMark32;
  EXPECT_EQ(qx.GetDeliveriesCount(&count), 0);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(qx.GetDeliveryByOrdinal(1, &id), SIM_ERR_NO_DELIVERY);
  EXPECT_EQ(id, kMark32);
  EXPECT_EQ(LastCall(), "GetDeliveryByOrdinal(1)=4");
}

TEST_F(Deliveries, ListKeepsArrivalOrder) {
  const int32_t a = AddDelivery(41, 10);
  const int32_t b = AddDelivery(31, 20);
  const int32_t c = AddDelivery(41, 30);
  ASSERT_GT(a, 0);
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(c, a + 2);
  EXPECT_EQ(ListedIds(), (std::vector<int32_t>{a, b, c}));
  int32_t id = kMark32;
  EXPECT_EQ(qx.GetDeliveryByOrdinal(4, &id), SIM_ERR_NO_DELIVERY);
  EXPECT_EQ(qx.GetDeliveryByOrdinal(0, &id), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(id, kMark32);
}

TEST_F(Deliveries, IdentifiersDoNotEqualOrdinals) {
  EXPECT_EQ(AddDelivery(31, 1), 1001);
}

TEST_F(Deliveries, PropertiesFillAll22OutputsInPlace) {
  SimDelivery d = SimDeliveryDefaults(32, 12.5);
  d.id = 5000;
  d.flags = 0;  // every value given
  d.state = 2;
  d.type = 4;
  d.priceLevel = 2;
  d.unitPrice = 5.799;
  d.amount = 72.49;
  d.volume2 = 0.25;
  d.completedDate = 46361.6076388889;  // 5 Dec 2026 14:35
  d.reservedBy = 8;
  d.attendantId = 9;
  d.startTotalizer = 1000.5;
  d.startVolume2Total = 20.25;
  d.startValueTotal = 3000.75;
  d.endTotalizer = 1013;
  d.endVolume2Total = 20.5;
  d.endValueTotal = 3073.24;
  d.code = 255;
  d.durationSeconds = 41;
  ASSERT_EQ(sim.SimAddDelivery(&d), 5000);
  DeliveryOut out;
  ASSERT_EQ(out.Get(qx, 5000), 0);
  EXPECT_EQ(out.hoseId, 32);                   // 1
  EXPECT_EQ(out.state, 2);                     // 2
  EXPECT_EQ(out.type, 4);                      // 3
  EXPECT_EQ(out.volume, 12.5);                 // 4
  EXPECT_EQ(out.priceLevel, 2);                // 5
  EXPECT_EQ(out.unitPrice, 5.799);             // 6
  EXPECT_EQ(out.value, 72.49);                 // 7
  EXPECT_EQ(out.volume2, 0.25);                // 8
  EXPECT_EQ(out.completedDate, 46361.6076388889);  // 9
  EXPECT_EQ(out.lockedBy, -1);                 // 10
  EXPECT_EQ(out.reservedBy, 8);                // 11
  EXPECT_EQ(out.attendantId, 9);               // 12
  EXPECT_GE(out.age, 0);                       // 13
  EXPECT_EQ(out.clearedDate, 0.0);             // 14
  EXPECT_EQ(out.oldVolumeETotal, 1000.5);      // 15
  EXPECT_EQ(out.oldVolume2ETotal, 20.25);      // 16
  EXPECT_EQ(out.oldValueETotal, 3000.75);      // 17
  EXPECT_EQ(out.newVolumeETotal, 1013.0);      // 18
  EXPECT_EQ(out.newVolume2ETotal, 20.5);       // 19
  EXPECT_EQ(out.newValueETotal, 3073.24);      // 20
  EXPECT_EQ(out.tag, 255);                     // 21
  EXPECT_EQ(out.duration, 41);                 // 22
}

TEST_F(Deliveries, UnknownDeliveryWritesNothing) {
  DeliveryOut out;
  EXPECT_EQ(out.Get(qx, 77), SIM_ERR_NOT_FOUND);
  EXPECT_EQ(out.hoseId, kMark32);
  EXPECT_EQ(out.volume, kMarkReal);
  EXPECT_EQ(out.tag, kMark64);
  EXPECT_EQ(out.duration, kMark32);
}

TEST_F(Deliveries, DefaultsComeFromTheHoseAndItsMetersMove) {
  ASSERT_EQ(sim.SimUseRealTime(0), SIM_OK);
  const int32_t first = AddDelivery(31, 12.5);
  const int32_t second = AddDelivery(31, 0.75);
  DeliveryOut a, b;
  ASSERT_EQ(a.Get(qx, first), 0);
  ASSERT_EQ(b.Get(qx, second), 0);
  EXPECT_EQ(a.unitPrice, 5.799);
  EXPECT_EQ(a.value, 72.49);  // 72.4875 to the cent
  EXPECT_EQ(a.state, SIM_DELIVERY_COMPLETED);
  EXPECT_EQ(a.type, SIM_DELIVERY_POSTPAY);
  EXPECT_EQ(a.lockedBy, -1);
  EXPECT_EQ(a.oldVolumeETotal, 123456.789);
  EXPECT_EQ(a.newVolumeETotal, 123469.289);
  EXPECT_EQ(b.oldVolumeETotal, 123469.289);
  EXPECT_EQ(b.newVolumeETotal, 123470.039);
  EXPECT_EQ(a.oldValueETotal, 0.0);
  EXPECT_EQ(b.oldValueETotal, 72.49);
  EXPECT_GT(a.completedDate, 40000.0) << "today's date, as an OLE date";
  HoseOut hose;
  ASSERT_EQ(hose.Get(qx, 31), 0);
  EXPECT_EQ(hose.totalizer, 123470.039);
  EXPECT_EQ(hose.volumeTotal, 13.25);
}

TEST_F(Deliveries, ClearWithoutLockFails) {
  const int32_t id = AddDelivery(31, 10);
  EXPECT_EQ(qx.ClearDelivery(id, 1), SIM_ERR_NOT_LOCKED);
  EXPECT_EQ(sim.SimDeliveryCount(), 1);
  EXPECT_EQ(sim.SimClearedCount(), 0);
}

TEST_F(Deliveries, LockThenClearMovesItToTheClearedList) {
  const int32_t a = AddDelivery(31, 10);
  const int32_t b = AddDelivery(41, 20);
  EXPECT_EQ(qx.LockDelivery(a), 0);
  DeliveryOut out;
  ASSERT_EQ(out.Get(qx, a), 0);
  EXPECT_EQ(out.lockedBy, 97) << "the lock value is this client's id";
  EXPECT_EQ(qx.LockDelivery(a), 0) << "locking again is harmless";
  EXPECT_EQ(qx.ClearDelivery(a, 2), SIM_ERR_TYPE_MISMATCH);
  EXPECT_EQ(sim.SimDeliveryCount(), 2);
  EXPECT_EQ(qx.ClearDelivery(a, 1), 0);
  EXPECT_EQ(ListedIds(), (std::vector<int32_t>{b}));
  ASSERT_EQ(sim.SimClearedCount(), 1);
  SimDelivery cleared{};
  ASSERT_EQ(sim.SimGetCleared(0, &cleared), SIM_OK);
  EXPECT_EQ(cleared.id, a);
  EXPECT_EQ(cleared.lockedBy, 97);
  EXPECT_GT(cleared.clearedDate, 0.0);
  EXPECT_EQ(sim.SimGetCleared(1, &cleared), SIM_ERR_NOT_FOUND);
  // Gone from the list: a second confirmation fails at the lock.
  EXPECT_EQ(qx.LockDelivery(a), SIM_ERR_NOT_FOUND);
  EXPECT_EQ(qx.ClearDelivery(a, 1), SIM_ERR_NOT_FOUND);
  EXPECT_EQ(out.Get(qx, a), SIM_ERR_NOT_FOUND);
}

TEST_F(Deliveries, LockedByAnotherClientCannotBeTakenOrCleared) {
  SimDelivery d = SimDeliveryDefaults(31, 10);
  d.lockedBy = 5;
  const int32_t id = sim.SimAddDelivery(&d);
  ASSERT_GT(id, 0);
  DeliveryOut out;
  ASSERT_EQ(out.Get(qx, id), 0);
  EXPECT_EQ(out.lockedBy, 5);
  EXPECT_EQ(qx.LockDelivery(id), SIM_ERR_LOCKED_BY_OTHER);
  EXPECT_EQ(qx.ClearDelivery(id, 1), SIM_ERR_NOT_LOCKED);
  EXPECT_EQ(sim.SimDeliveryCount(), 1);
  ASSERT_EQ(sim.SimSetDeliveryLock(id, -1), SIM_OK);
  EXPECT_EQ(qx.LockDelivery(id), 0);
  EXPECT_EQ(qx.ClearDelivery(id, 1), 0);
}

TEST_F(Deliveries, AnotherClientIdDoesNotOwnThisClientsLock) {
  const int32_t id = AddDelivery(31, 10);
  ASSERT_EQ(qx.LockDelivery(id), 0);
  ASSERT_EQ(Logon(98), 0);  // same library, another client id
  EXPECT_EQ(qx.LockDelivery(id), SIM_ERR_LOCKED_BY_OTHER);
  EXPECT_EQ(qx.ClearDelivery(id, 1), SIM_ERR_NOT_LOCKED);
}

TEST_F(Deliveries, StateThreeIsKeptAsItIs) {
  SimDelivery d = SimDeliveryDefaults(31, 10);
  d.state = SIM_DELIVERY_OFFLINE;
  const int32_t id = sim.SimAddDelivery(&d);
  EXPECT_EQ(qx.LockDelivery(id), 0);
  DeliveryOut out;
  ASSERT_EQ(out.Get(qx, id), 0);
  EXPECT_EQ(out.state, 3);
  EXPECT_EQ(out.lockedBy, 97);
}

TEST_F(Deliveries, FailedClearChangesNothing) {
  const int32_t id = AddDelivery(31, 10);
  ASSERT_EQ(qx.LockDelivery(id), 0);
  ASSERT_EQ(sim.SimFailCall("ClearDelivery", 1, 9), SIM_OK);
  EXPECT_EQ(qx.ClearDelivery(id, 1), 9);
  EXPECT_EQ(sim.SimDeliveryCount(), 1);
  EXPECT_EQ(sim.SimClearedCount(), 0);
  EXPECT_EQ(qx.ClearDelivery(id, 1), 0);
  EXPECT_EQ(sim.SimClearedCount(), 1);
}

TEST_F(Deliveries, AddRefusesUnknownHoseAndTakenId) {
  SimDelivery d = SimDeliveryDefaults(99, 10);
  EXPECT_EQ(sim.SimAddDelivery(&d), -SIM_ERR_NOT_FOUND);
  d = SimDeliveryDefaults(31, 10);
  d.id = 1500;
  EXPECT_EQ(sim.SimAddDelivery(&d), 1500);
  EXPECT_EQ(sim.SimAddDelivery(&d), -SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(sim.SimAddDelivery(nullptr), -SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(AddDelivery(31, 1), 1501) << "numbering goes on after the largest";
}

// The sweep that the driver's tests make, in small: fail the n-th call of a
// confirmation for every n, and check that the delivery is either still
// waiting or cleared, never lost.
TEST_F(Deliveries, ConfirmationSweepNeverLosesADelivery) {
  for (int32_t nth = 1; nth <= 4; ++nth) {
    ASSERT_EQ(sim.SimReset(), SIM_OK);
    AddTwoPumps();
    ASSERT_EQ(Logon(), 0);
    const int32_t id = AddDelivery(31, 10);
    ASSERT_EQ(sim.SimFailCall("*", nth, 42), SIM_OK);
    int32_t first = 0;
    DeliveryOut out;
    const bool done = qx.GetDeliveryByOrdinal(1, &first) == 0 &&
                      out.Get(qx, first) == 0 && qx.LockDelivery(first) == 0 &&
                      qx.ClearDelivery(first, out.type) == 0;
    EXPECT_EQ(sim.SimDeliveryCount() + sim.SimClearedCount(), 1) << nth;
    EXPECT_EQ(done, sim.SimClearedCount() == 1) << nth;
    EXPECT_FALSE(done) << "call " << nth << " of four failed";
    (void)id;
  }
}

}  // namespace
