// What every simulator test shares: QXClient.dll loaded once, by name, as a
// host loads it; its entry points bound through typed pointers of the
// declarations that the driver uses; its control exports; small helpers.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "client/QXClientApi.h"
#include "sim/SimControl.h"

// The client library's 183 entry points, one typed pointer each. (The
// Windows headers map DeletePort to DeletePortA; the member follows, while
// the name looked up, stringized directly, stays "DeletePort".)
struct Client {
#define SIM_TEST_MEMBER(name) decltype(&qx::name) name = nullptr;
  QX_ENTRY_POINTS(SIM_TEST_MEMBER, SIM_TEST_MEMBER)
#undef SIM_TEST_MEMBER
};

// The 183 names in binding order.
const std::vector<std::string>& EntryPointNames();

struct Library {
  HMODULE module = nullptr;
  Client qx;
  SimControl sim;
  bool complete = false;  // every entry point and control export found
};
// Loaded at first use and kept for the whole run.
const Library& TheLibrary();

// The folder of the running test program, with a trailing backslash.
std::string ProgramFolder();

// Markers written into outputs before a call, to show whether it wrote them.
constexpr int32_t kMark32 = 0x5A5A5A5A;
constexpr int16_t kMark16 = 0x5A5A;
constexpr double kMarkReal = -7777.25;
constexpr int64_t kMark64 = 0x5A5A5A5A5A5A5A5A;

// A BSTR for the duration of a test.
class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : value_(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return value_; }

 private:
  BSTR value_;
};

std::string Narrow(BSTR text);

// The 41 outputs of GetNextPumpEventEx2, filled with markers.
struct PumpEventOut {
  int32_t pumpId = kMark32;
  int16_t pumpNumber = kMark16, pumpState = kMark16, reservedFor = kMark16;
  int32_t reservedBy = kMark32, hoseId = kMark32;
  int16_t hoseNumber = kMark16, gradeNumber = kMark16;
  int32_t gradeId = kMark32, deliveryId = kMark32;
  BSTR gradeName = nullptr, shortGradeName = nullptr;
  int16_t priceLevel = kMark16;
  double price = kMarkReal, volume = kMarkReal, value = kMarkReal;
  int16_t stackSize = kMark16;
  BSTR pumpName = nullptr;
  int32_t physicalNumber = kMark32;
  int16_t side = kMark16, address = kMark16, priceLevel1 = kMark16,
          priceLevel2 = kMark16, pumpType = kMark16;
  int32_t portId = kMark32;
  int16_t authMode = kMark16, stackMode = kMark16, prepayAllowed = kMark16,
          preauthAllowed = kMark16, priceFormat = kMark16,
          valueFormat = kMark16, volumeFormat = kMark16;
  double tag = kMarkReal;
  int32_t attendantId = kMark32, attendantNumber = kMark32;
  BSTR attendantName = nullptr;
  double attendantTag = kMarkReal;
  int32_t cardClientId = kMark32, cardClientNumber = kMark32;
  BSTR cardClientName = nullptr;
  double cardClientTag = kMarkReal;

  PumpEventOut() = default;
  PumpEventOut(const PumpEventOut&) = delete;
  PumpEventOut& operator=(const PumpEventOut&) = delete;
  ~PumpEventOut();
  QXResult Get(const Client& qx);
};

// The 22 outputs of GetDeliveryPropertiesEx2, filled with markers.
struct DeliveryOut {
  int32_t hoseId = kMark32;
  int16_t state = kMark16, type = kMark16;
  double volume = kMarkReal;
  int16_t priceLevel = kMark16;
  double unitPrice = kMarkReal, value = kMarkReal, volume2 = kMarkReal,
         completedDate = kMarkReal;
  int32_t lockedBy = kMark32, reservedBy = kMark32, attendantId = kMark32,
          age = kMark32;
  double clearedDate = kMarkReal, oldVolumeETotal = kMarkReal,
         oldVolume2ETotal = kMarkReal, oldValueETotal = kMarkReal,
         newVolumeETotal = kMarkReal, newVolume2ETotal = kMarkReal,
         newValueETotal = kMarkReal;
  int64_t tag = kMark64;
  int32_t duration = kMark32;

  QXResult Get(const Client& qx, int32_t deliveryId);
};

// The 12 outputs of GetHosePropertiesEx2, filled with markers.
struct HoseOut {
  int32_t number = kMark32, pumpId = kMark32, tankId = kMark32,
          gradeId = kMark32;
  double volumeTotal = kMarkReal, valueTotal = kMarkReal,
         volume2Total = kMarkReal, totalizer = kMarkReal;
  int16_t priceLevel = kMark16;
  double price = kMarkReal, price2 = kMarkReal;
  int16_t flags = kMark16;

  QXResult Get(const Client& qx, int32_t hoseId);
};

// Each test starts from SimReset.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override;

  const Client& qx = TheLibrary().qx;
  const SimControl& sim = TheLibrary().sim;

  // ClientLogonEx as the driver makes it.
  QXResult Logon(int32_t clientId = 97);
  // The recorded call texts.
  std::string CallAt(int32_t index) const;
  std::vector<std::string> Calls() const;
  std::string LastCall() const;

  // Two pumps (numbers 1 and 2, ids 11 and 12) and three hoses whose
  // identifiers are not their ordinals: 31 and 32 on pump 11, 41 on pump 12.
  void AddTwoPumps();
  // A delivery of `volume` at `hoseId`; returns its identifier.
  int32_t AddDelivery(int32_t hoseId, double volume);

  // What the last scenario load said.
  std::string LoadText(const std::string& text, int32_t* line = nullptr);

  // Processes and takes every queued event: pump events as "number:state",
  // others as "type T".
  std::vector<std::string> Drain();
};
