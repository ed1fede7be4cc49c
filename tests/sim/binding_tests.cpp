// The exports that the driver's binding resolves, in the simulator and in
// the two variants that each lack one name.

#include "tests/sim/sim_fixture.h"

namespace {

// Names that `module` does not export, in binding order.
std::vector<std::string> Missing(HMODULE module) {
  std::vector<std::string> missing;
  for (const std::string& name : EntryPointNames()) {
    if (!GetProcAddress(module, name.c_str())) missing.push_back(name);
  }
  return missing;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return "[" + text + "]";
}

TEST(Binding, ListHas183NamesInBindingOrder) {
  const std::vector<std::string>& names = EntryPointNames();
  ASSERT_EQ(names.size(), 183u);
  EXPECT_EQ(names[0], "DllVersion");
  EXPECT_EQ(names[3], "ClientLogonEx");
  EXPECT_EQ(names[8], "TestConnection");
  EXPECT_EQ(names[182], "GetPumpStatusEx");
}

TEST(Binding, SimulatorExportsAll183Names) {
  const HMODULE module = TheLibrary().module;
  ASSERT_NE(module, nullptr) << "error " << GetLastError();
  EXPECT_EQ(Joined(Missing(module)), "[]");
  // The decorated stdcall forms must not be what is exported.
  EXPECT_EQ(GetProcAddress(module, "Authorise@4"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "_Authorise@4"), nullptr);
}

TEST(Binding, SimulatorExportsEveryControlName) {
  SimControl sim;
  EXPECT_TRUE(LoadSimControl(TheLibrary().module, sim));
  EXPECT_FALSE(LoadSimControl(nullptr, sim));
  EXPECT_EQ(sim.SimReset, nullptr);
}

struct Variant {
  const char* folder;
  const char* lacking;
};

class BindingVariant : public ::testing::TestWithParam<Variant> {};

TEST_P(BindingVariant, LacksExactlyItsOneName) {
  const Variant v = GetParam();
  const std::string path = ProgramFolder() + v.folder + "\\QXClient.dll";
  const HMODULE module = LoadLibraryA(path.c_str());
  ASSERT_NE(module, nullptr) << path << ": error " << GetLastError();
  EXPECT_NE(module, TheLibrary().module) << "the variant is another module";
  EXPECT_EQ(Joined(Missing(module)), std::string("[") + v.lacking + "]");
  SimControl sim;
  EXPECT_TRUE(LoadSimControl(module, sim));
  // The library stays loaded, as the driver leaves it.
}

INSTANTIATE_TEST_SUITE_P(
    Variants, BindingVariant,
    ::testing::Values(Variant{"client-lacking-last", "GetPumpStatusEx"},
                      Variant{"client-lacking-ninth", "TestConnection"}),
    [](const ::testing::TestParamInfo<Variant>& info) {
      return std::string(info.param.lacking);
    });

class Uncalled : public SimTest {};

TEST_F(Uncalled, AnswerNotSupportedAndAreRecorded) {
  ASSERT_EQ(Logon(), 0);
  ASSERT_EQ(sim.SimClearCalls(), SIM_OK);
  EXPECT_EQ(qx.DllVersion(), SIM_ERR_NOT_SUPPORTED);
  EXPECT_EQ(qx.GetPumpStatusEx(), SIM_ERR_NOT_SUPPORTED);
  EXPECT_EQ(qx.DeletePort(), SIM_ERR_NOT_SUPPORTED);
  EXPECT_EQ(qx.GetHosePrices(), SIM_ERR_NOT_SUPPORTED);
  const std::vector<std::string> expected = {
      "DllVersion()=99", "GetPumpStatusEx()=99", "DeletePort()=99",
      "GetHosePrices()=99"};
  EXPECT_EQ(Calls(), expected);
}

}  // namespace
