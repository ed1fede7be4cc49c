// The one test fixture: a freshly reset simulated controller (when there is one), the driver as a
// host loads it, a fresh working folder without _Korvan.ini, logging on.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "host_api/KorvanDriver.h"
#include "tests/common/station.h"
// After windows.h, which it needs.
#include <oleauto.h>

// Log lines or client calls, oldest first.
using Lines = std::vector<std::string>;

// `lines` holds `run` contiguously; a failure prints both.
inline testing::AssertionResult HasRun(const Lines& lines, const Lines& run) {
  if (std::search(lines.begin(), lines.end(), run.begin(), run.end()) != lines.end())
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "wanted the run\n" << Join(run) << "\nin\n" << Join(lines);
}

// The floating-point modes a host may run in: the x87 control word (exception masks in bits 0-5,
// precision in bits 8-9, rounding in bits 10-11) and MXCSR (denormals as zero in bit 6, masks in
// bits 7-12, rounding in bits 13-14, flush to zero in bit 15), set as a Delphi or C host sets them.
struct FloatModes {
  unsigned short x87;
  unsigned int sse;
  static FloatModes Read() {
    FloatModes m;
    __asm__ volatile("fnstcw %0\n\tstmxcsr %1" : "=m"(m.x87), "=m"(m.sse));
    return m;
  }
  void Apply() const { __asm__ volatile("fldcw %0\n\tldmxcsr %1" : : "m"(x87), "m"(sse)); }
  // Rounding 0 nearest, 1 down, 2 up, 3 towards zero; precision 0 (24 bits), 2 (53) or 3 (64);
  // every exception unmasked in the x87 unit, in SSE, or both; subnormals flushed.
  enum Unmasked : unsigned { kNone = 0, kX87 = 1, kSse = 2, kBoth = 3 };
  struct Row {
    unsigned rounding, precision, unmasked;
    bool flushed;
    std::string Name() const {
      return std::string("rounding ") + "NDUZ"[rounding] + ", precision " +
             std::to_string(precision) + (unmasked & kX87 ? ", x87 exceptions unmasked" : "") +
             (unmasked & kSse ? ", SSE exceptions unmasked" : "") +
             (flushed ? ", subnormals flushed" : "");
    }
  };
  FloatModes With(const Row& row) const {
    return {static_cast<unsigned short>((x87 & ~0xF3Fu) | (row.unmasked & kX87 ? 0 : 0x3F) |
                                        row.rounding << 10 | row.precision << 8),
            (sse & ~0xFFC0u) | (row.unmasked & kSse ? 0 : 0x1F80) | row.rounding << 13 |
                (row.flushed ? 0x8040 : 0)};
  }
  // Every rounding mode at every precision, then the exceptions unmasked in
  // either unit or both, and subnormals flushed.
  static std::vector<Row> Rows() {
    std::vector<Row> rows;
    for (unsigned rounding = 0; rounding < 4; ++rounding)
      for (unsigned precision : {0u, 2u, 3u}) rows.push_back({rounding, precision, kNone, false});
    for (unsigned unmasked : {kBoth, kX87, kSse}) rows.push_back({0, 3, unmasked, false});
    rows.push_back({0, 3, kNone, true});
    return rows;
  }
};

class Station : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(driver.loaded());
    RecordMessageBoxes(driver.module());
    // Absent only where a test runs without a client library.
    if (LoadSimControl(LoadLibraryA("QXClient.dll"), sim)) sim.SimReset();
    EnterFreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
    RemoveFile(IniPath());
    driver.IniciaGravacaoLog();
  }
  void TearDown() override {
    driver.ParaGravacaoLog();
    EXPECT_TRUE(driver.abiClean()) << "a call unbalanced the stack or registers";
    EXPECT_EQ(TakeMessageBoxes(), std::vector<std::string>{}) << "boxes the test did not expect";
  }

  // Every operation that talks to the controller answers exactly 0, without a fault and without
  // touching the host's buffers or date; each text given is "1".
  void ExpectEveryOperationRefused() {
    char buffers[10][32];
    std::memset(buffers, 'X', sizeof buffers);
    double date = -1;
    for (const char* name :
         {"AUT_ObtemAbastecimento", "AUT_ConfirmaAbastecimento", "AUT_ObtemStatus",
          "AUT_ObtemEncerrante", "AUT_ObtemPreco", "AUT_AlteraPreco", "AUT_AutorizaAbastecimento",
          "AUT_BloqueiaBico", "AUT_DesbloqueiaBico", "AUT_BloqueiaTodosBicos",
          "AUT_DesbloqueiaTodosBicos"}) {
      uintptr_t args[11], *arg = args;
      size_t buffer = 0;
      for (const char* kind = ExportNamed(name).kinds; *kind; ++kind)
        *arg++ = *kind == 'T' ? Arg("1") : *kind == 'B' ? Arg(buffers[buffer++]) : Arg(&date);
      EXPECT_EQ(CallExport(driver, name, args), 0u) << name;
    }
    EXPECT_EQ(std::string(buffers[0], sizeof buffers), std::string(sizeof buffers, 'X'));
    EXPECT_EQ(date, -1);
  }
  // A logon straight to the simulated controller, as the driver makes it.
  int32_t Logon(const wchar_t* address = L"127.0.0.1") {
    BSTR server = SysAllocString(address);
    const int32_t result = SIM_ENTRY(ClientLogonEx)(97, 7, server, 5123, 5124, 10000, 0, 0, 0);
    SysFreeString(server);
    return result;
  }
  bool Start(const char* configuracao = "") {
    return driver.IniciaComunicacao("127.0.0.1", "", configuracao);
  }
  // The status text, read where it has room.
  std::string Status() {
    char status[512];
    std::memset(status, 'X', sizeof status);
    EXPECT_TRUE(driver.ObtemStatus(status));
    return std::string(status, strnlen(status, sizeof status));
  }
  std::string LastLine() const {
    const auto lines = LogMessages();
    return lines.empty() ? "<no line>" : lines.back();
  }
  // The last n log lines.
  std::vector<std::string> LastLines(size_t n) const {
    const auto lines = LogMessages();
    return {lines.end() - std::min(n, lines.size()), lines.end()};
  }

  KorvanDriver driver;
  SimControl sim;
};

// The simulator's own tests: QXClient.dll must be the simulator.
class Simulated : public Station {
 protected:
  void SetUp() override {
    Station::SetUp();
    ASSERT_NE(sim.SimReset, nullptr) << "QXClient.dll is not the simulator";
  }
};
