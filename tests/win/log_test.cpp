// The driver's log as a host finds it on disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "host/KorvanDriver.h"
#include "tests/win/support.h"

namespace {

class Log : public testing::Test {
 protected:
  void SetUp() override {
    EnterFreshFolder(testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { driver.ParaGravacaoLog(); }
  KorvanDriver driver;
};

TEST_F(Log, OffWritesNothingAndTouchesNoFile) {
  driver.RegistraBico("1", "x", "", "y", "", "", "", "");
  driver.FinalizaComunicacao();  // fails: no session
  EXPECT_FALSE(LogFolderExists());
}

TEST_F(Log, SwitchesWriteOneLineEachOnlyWhenTheStateChanges) {
  driver.ParaGravacaoLog();  // already off: nothing
  driver.IniciaGravacaoLog();
  driver.IniciaGravacaoLog();  // already on: nothing
  driver.ParaGravacaoLog();
  driver.ParaGravacaoLog();
  driver.RegistraBico("1", "1", "", "3", "3", "2", "3", "");  // off again
  std::vector<std::string> expected = {"Início da gravação do arquivo de LOG",
                                       "Fim da gravação do arquivo de LOG"};
  EXPECT_EQ(LogMessages(), expected) << Join(LogMessages());
}

TEST_F(Log, FileNameAndLineFormat) {
  SYSTEMTIME before;
  GetLocalTime(&before);
  driver.IniciaGravacaoLog();
  driver.ParaGravacaoLog();

  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA("LOG\\*", &found);
  ASSERT_NE(search, INVALID_HANDLE_VALUE);
  std::vector<std::string> names;
  do
    if (found.cFileName[0] != '.') names.push_back(found.cFileName);
  while (FindNextFileA(search, &found));
  FindClose(search);
  ASSERT_FALSE(names.empty());
  char expected[64];
  std::snprintf(expected, sizeof expected, "DllDriverAutomacao%02d%02d_%02d.log",
                before.wDay, before.wMonth, before.wHour);
  EXPECT_EQ(names[0], expected) << "(unless the hour turned during the test)";

  std::string bytes = ReadLogBytes();
  std::regex line("DRV - < \\d\\d:\\d\\d:\\d\\d >In\xED" "cio da grava\xE7\xE3o "
                  "do arquivo de LOG\r\n"
                  "DRV - < \\d\\d:\\d\\d:\\d\\d >Fim da grava\xE7\xE3o do "
                  "arquivo de LOG\r\n");
  EXPECT_TRUE(std::regex_match(bytes, line)) << bytes;
}

TEST_F(Log, FollowsTheCurrentDirectory) {
  driver.IniciaGravacaoLog();
  CreateDirectoryA("elsewhere", nullptr);
  RemoveLogFolder("elsewhere\\");
  SetCurrentDirectoryA("elsewhere");
  driver.ParaGravacaoLog();
  auto moved = LogMessages();
  SetCurrentDirectoryA("..");
  EXPECT_EQ(moved, std::vector<std::string>{"Fim da gravação do arquivo de LOG"});
  EXPECT_EQ(LogMessages(),
            std::vector<std::string>{"Início da gravação do arquivo de LOG"});
}

TEST_F(Log, ALineThatCannotBeWrittenIsLostQuietly) {
  // A file named LOG where the folder should be: every line is lost, the
  // operations go on.
  WriteFile("LOG", "not a folder");
  driver.IniciaGravacaoLog();
  char signature[8], version[8];
  EXPECT_TRUE(driver.ObtemAssinatura(signature, version));
  driver.RegistraBico("9", "1", "", "3", "3", "2", "3", "");
  driver.ParaGravacaoLog();
  RemoveFile("LOG");
}

}  // namespace
