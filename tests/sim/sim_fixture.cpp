#include "tests/sim/sim_fixture.h"

namespace {

Library Load() {
  // A fault must fail the test run, not wait for a dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  Library library;
  library.module = LoadLibraryA("QXClient.dll");
  if (!library.module) return library;
  bool complete = LoadSimControl(library.module, library.sim);
#define SIM_TEST_BIND(name)                                            \
  library.qx.name = reinterpret_cast<decltype(library.qx.name)>(       \
      reinterpret_cast<void*>(GetProcAddress(library.module, #name))); \
  complete = complete && library.qx.name != nullptr;
  QX_ENTRY_POINTS(SIM_TEST_BIND, SIM_TEST_BIND)
#undef SIM_TEST_BIND
  library.complete = complete;
  return library;
}

}  // namespace

const std::vector<std::string>& EntryPointNames() {
#define SIM_TEST_NAME(name) #name,
  static const std::vector<std::string> names = {
      QX_ENTRY_POINTS(SIM_TEST_NAME, SIM_TEST_NAME)};
#undef SIM_TEST_NAME
  return names;
}

const Library& TheLibrary() {
  static const Library library = Load();
  return library;
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of("\\/") + 1);
}

std::string Narrow(BSTR text) {
  std::string result;
  for (const wchar_t* p = text; p && *p; ++p) {
    result += *p < 0x80 ? static_cast<char>(*p) : '?';
  }
  return result;
}

PumpEventOut::~PumpEventOut() {
  for (BSTR text : {gradeName, shortGradeName, pumpName, attendantName,
                    cardClientName}) {
    SysFreeString(text);
  }
}

QXResult PumpEventOut::Get(const Client& qx) {
  return qx.GetNextPumpEventEx2(
      &pumpId, &pumpNumber, &pumpState, &reservedFor, &reservedBy, &hoseId,
      &hoseNumber, &gradeNumber, &gradeId, &deliveryId, &gradeName,
      &shortGradeName, &priceLevel, &price, &volume, &value, &stackSize,
      &pumpName, &physicalNumber, &side, &address, &priceLevel1, &priceLevel2,
      &pumpType, &portId, &authMode, &stackMode, &prepayAllowed,
      &preauthAllowed, &priceFormat, &valueFormat, &volumeFormat, &tag,
      &attendantId, &attendantNumber, &attendantName, &attendantTag,
      &cardClientId, &cardClientNumber, &cardClientName, &cardClientTag);
}

QXResult DeliveryOut::Get(const Client& qx, int32_t deliveryId) {
  return qx.GetDeliveryPropertiesEx2(
      deliveryId, &hoseId, &state, &type, &volume, &priceLevel, &unitPrice,
      &value, &volume2, &completedDate, &lockedBy, &reservedBy, &attendantId,
      &age, &clearedDate, &oldVolumeETotal, &oldVolume2ETotal,
      &oldValueETotal, &newVolumeETotal, &newVolume2ETotal, &newValueETotal,
      &tag, &duration);
}

QXResult HoseOut::Get(const Client& qx, int32_t hoseId) {
  return qx.GetHosePropertiesEx2(hoseId, &number, &pumpId, &tankId, &gradeId,
                                 &volumeTotal, &valueTotal, &volume2Total,
                                 &totalizer, &priceLevel, &price, &price2,
                                 &flags);
}

void SimTest::SetUp() {
  ASSERT_NE(TheLibrary().module, nullptr)
      << "QXClient.dll did not load (error " << GetLastError() << ")";
  ASSERT_TRUE(TheLibrary().complete)
      << "QXClient.dll lacks an entry point or a control export";
  ASSERT_EQ(sim.SimReset(), SIM_OK);
}

QXResult SimTest::Logon(int32_t clientId) {
  Bstr server(L"127.0.0.1");
  return qx.ClientLogonEx(clientId, 7, server, 5123, 5124, 10000, 0, 0, 0);
}

std::string SimTest::CallAt(int32_t index) const {
  char text[512];
  const int32_t n = sim.SimGetCall(index, text, sizeof text);
  return n < 0 ? "<no call " + std::to_string(index) + ">" : std::string(text);
}

std::vector<std::string> SimTest::Calls() const {
  std::vector<std::string> calls;
  for (int32_t i = 0; i < sim.SimCallCount(); ++i) calls.push_back(CallAt(i));
  return calls;
}

std::string SimTest::LastCall() const {
  return CallAt(sim.SimCallCount() - 1);
}

void SimTest::AddTwoPumps() {
  SimGrade grade{};
  grade.id = 3;
  grade.number = 30;
  strcpy(grade.name, "Etanol");
  strcpy(grade.shortName, "ET");
  ASSERT_EQ(sim.SimAddGrade(&grade), SIM_OK);
  for (int32_t n : {1, 2}) {
    SimPump pump{};
    pump.id = 10 + n;
    pump.number = n;
    pump.state = SIM_PUMP_IDLE;
    snprintf(pump.name, sizeof pump.name, "Bomba %d", static_cast<int>(n));
    ASSERT_EQ(sim.SimAddPump(&pump), SIM_OK);
  }
  struct Row {
    int32_t id, pumpId;
    double price, totalizer;
  } rows[] = {{31, 11, 5.799, 123456.789}, {32, 11, 3.999, 2000},
              {41, 12, 6.099, 500.5}};
  for (const Row& row : rows) {
    SimHose hose{};
    hose.id = row.id;
    hose.pumpId = row.pumpId;
    hose.gradeId = 3;
    hose.tankId = 2;
    hose.price = row.price;
    hose.totalizer = row.totalizer;
    ASSERT_EQ(sim.SimAddHose(&hose), SIM_OK) << "hose " << row.id;
  }
}

int32_t SimTest::AddDelivery(int32_t hoseId, double volume) {
  const SimDelivery d = SimDeliveryDefaults(hoseId, volume);
  return sim.SimAddDelivery(&d);
}

std::string SimTest::LoadText(const std::string& text, int32_t* line) {
  char error[512] = "(not written)";
  const int32_t n = sim.SimLoadScenarioText(text.c_str(), error, sizeof error);
  if (line) *line = n;
  return error;
}

std::vector<std::string> SimTest::Drain() {
  std::vector<std::string> seen;
  EXPECT_EQ(qx.ProcessEvents(), 0);
  int32_t n = 0;
  EXPECT_EQ(qx.GetEventsCount(&n), 0);
  for (; n > 0; --n) {
    int32_t type = 0;
    EXPECT_EQ(qx.GetNextEventType(&type), 0);
    if (type == SIM_EVENT_PUMP) {
      PumpEventOut e;
      EXPECT_EQ(e.Get(qx), 0);
      seen.push_back(std::to_string(e.pumpNumber) + ":" +
                     std::to_string(e.pumpState));
    } else {
      EXPECT_EQ(qx.DiscardNextEvent(), 0);
      seen.push_back("type " + std::to_string(type));
    }
  }
  return seen;
}
