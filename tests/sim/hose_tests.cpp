// Hoses: ordinals, identifiers, the 12 outputs of GetHosePropertiesEx2 and
// price changes.

#include "tests/sim/sim_fixture.h"

namespace {

class Hoses : public SimTest {
 protected:
  void SetUp() override {
    SimTest::SetUp();
    AddTwoPumps();
    ASSERT_EQ(Logon(), 0);
  }
};

TEST_F(Hoses, OrdinalsFollowTheOrderOfAdding) {
  const int32_t expected[] = {31, 32, 41};
  for (int32_t ordinal = 1; ordinal <= 3; ++ordinal) {
    int32_t id = kMark32;
    EXPECT_EQ(qx.GetHoseByOrdinal(ordinal, &id), 0) << ordinal;
    EXPECT_EQ(id, expected[ordinal - 1]) << ordinal;
  }
  int32_t id = kMark32;
  EXPECT_EQ(qx.GetHoseByOrdinal(4, &id), SIM_ERR_NOT_FOUND);
  EXPECT_EQ(qx.GetHoseByOrdinal(0, &id), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(id, kMark32);
}

TEST_F(Hoses, PropertiesFillAll12OutputsInPlace) {
  const int32_t delivery = AddDelivery(41, 2.5);  // moves the meters
  ASSERT_GT(delivery, 0);
  HoseOut h;
  ASSERT_EQ(h.Get(qx, 41), 0);
  EXPECT_EQ(h.number, 1);            // 1: first hose of its pump
  EXPECT_EQ(h.pumpId, 12);           // 2
  EXPECT_EQ(h.tankId, 2);            // 3
  EXPECT_EQ(h.gradeId, 3);           // 4
  EXPECT_EQ(h.volumeTotal, 2.5);     // 5
  EXPECT_EQ(h.valueTotal, 15.25);    // 6: 2.5 * 6.099 = 15.2475
  EXPECT_EQ(h.volume2Total, 0.0);    // 7
  EXPECT_EQ(h.totalizer, 503.0);     // 8: 500.5 + 2.5
  EXPECT_EQ(h.priceLevel, 1);        // 9
  EXPECT_EQ(h.price, 6.099);         // 10
  EXPECT_EQ(h.price2, 6.099);        // 11
  EXPECT_EQ(h.flags, 1);             // 12
  HoseOut second;
  ASSERT_EQ(second.Get(qx, 32), 0);
  EXPECT_EQ(second.number, 2) << "second hose of pump 11";
  EXPECT_EQ(second.pumpId, 11);
}

TEST_F(Hoses, UnknownHoseWritesNothing) {
  HoseOut h;
  EXPECT_EQ(h.Get(qx, 3), SIM_ERR_NOT_FOUND) << "3 is an ordinal, not an id";
  EXPECT_EQ(h.pumpId, kMark32);
  EXPECT_EQ(h.totalizer, kMarkReal);
  EXPECT_EQ(h.price, kMarkReal);
  EXPECT_EQ(h.flags, kMark16);
  EXPECT_EQ(LastCall(), "GetHosePropertiesEx2(3)=3");
}

TEST_F(Hoses, SetHosePricesChangesBothLevels) {
  EXPECT_EQ(qx.SetHosePrices(32, 2, 1, 3.459, 3.459), 0);
  EXPECT_EQ(LastCall(), "SetHosePrices(32,2,1,3.459,3.459)=0");
  HoseOut h;
  ASSERT_EQ(h.Get(qx, 32), 0);
  EXPECT_EQ(h.price, 3.459);
  EXPECT_EQ(h.price2, 3.459);
  EXPECT_EQ(qx.SetHosePrices(32, 1, 1, 4, 4.1), 0);
  SimHose hose{};
  ASSERT_EQ(sim.SimGetHose(32, &hose), SIM_OK);
  EXPECT_EQ(hose.price, 4.0);
  EXPECT_EQ(hose.price2, 4.1);
  EXPECT_EQ(hose.ordinal, 2);
  // A later delivery takes the new price.
  DeliveryOut d;
  ASSERT_EQ(d.Get(qx, AddDelivery(32, 10)), 0);
  EXPECT_EQ(d.unitPrice, 4.0);
  EXPECT_EQ(d.value, 40.0);
}

TEST_F(Hoses, SetHosePricesRefusesWhatItCannotSet) {
  EXPECT_EQ(qx.SetHosePrices(99, 2, 1, 3.5, 3.5), SIM_ERR_NOT_FOUND);
  EXPECT_EQ(qx.SetHosePrices(32, 3, 1, 3.5, 3.5), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(qx.SetHosePrices(32, 2, 2, 3.5, 3.5), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(qx.SetHosePrices(32, 2, 1, 0, 3.5), SIM_ERR_BAD_ARGUMENT);
  EXPECT_EQ(qx.SetHosePrices(32, 2, 1, 3.5, -1), SIM_ERR_BAD_ARGUMENT);
  SimHose hose{};
  ASSERT_EQ(sim.SimGetHose(32, &hose), SIM_OK);
  EXPECT_EQ(hose.price, 3.999);
}

TEST_F(Hoses, PumpsCountCountsPumps) {
  int32_t n = kMark32;
  EXPECT_EQ(qx.GetPumpsCount(&n), 0);
  EXPECT_EQ(n, 2);
}

TEST_F(Hoses, AddRefusesBadHoses) {
  SimHose hose{};
  hose.id = 50;
  hose.pumpId = 99;
  hose.price = 1;
  EXPECT_EQ(sim.SimAddHose(&hose), SIM_ERR_NOT_FOUND) << "no pump 99";
  hose.pumpId = 11;
  hose.gradeId = 8;
  EXPECT_EQ(sim.SimAddHose(&hose), SIM_ERR_NOT_FOUND) << "no grade 8";
  hose.gradeId = 0;
  hose.price = 0;
  EXPECT_EQ(sim.SimAddHose(&hose), SIM_ERR_BAD_ARGUMENT) << "no price";
  hose.price = 1;
  hose.id = 31;
  EXPECT_EQ(sim.SimAddHose(&hose), SIM_ERR_BAD_ARGUMENT) << "id taken";
  hose.id = 50;
  hose.number = 1;
  EXPECT_EQ(sim.SimAddHose(&hose), SIM_ERR_BAD_ARGUMENT) << "number taken";
  hose.number = 0;
  EXPECT_EQ(sim.SimAddHose(&hose), SIM_OK);
  SimHose added{};
  ASSERT_EQ(sim.SimGetHose(50, &added), SIM_OK);
  EXPECT_EQ(added.number, 3);
  EXPECT_EQ(added.ordinal, 4);
}

}  // namespace
