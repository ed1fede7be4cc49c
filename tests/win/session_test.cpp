// Starting and ending communication: configuration file, logon arguments,
// the lines logged, and what a start leaves behind.
#include <windows.h>

#include <sstream>

#include "tests/win/station.h"

namespace {

// The key names of the file's [Korvan] section, in file order.
std::vector<std::string> IniKeys() {
  std::vector<std::string> keys;
  std::istringstream file(ReadFile(IniPath()));
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    auto equals = line.find('=');
    if (equals != std::string::npos) keys.push_back(line.substr(0, equals));
  }
  return keys;
}

std::string IniValue(const char* key) {
  char value[256];
  GetPrivateProfileStringA("Korvan", key, "<missing>", value, sizeof value,
                           IniPath().c_str());
  return value;
}

class Session : public Station {};

TEST_F(Session, DefaultsWithoutAFileAndTheSevenKeysWrittenBack) {
  AddPumps(3);
  ASSERT_TRUE(driver.IniciaComunicacao("10.0.0.7", "modo", "cfg"));
  EXPECT_EQ(CallsNamed("ClientLogonEx"),
            std::vector<std::string>{
                "ClientLogonEx(97,7,\"10.0.0.7\",5123,5124,10000,0,0,0)=0"});
  EXPECT_EQ(IniKeys(), (std::vector<std::string>{"Porta", "NumberPortIp",
                                                 "NumberEventPort", "TimeOut",
                                                 "Handle", "hWnd", "hMsg"}));
  EXPECT_EQ(IniValue("Porta"), "127.0.0.1");
  EXPECT_EQ(IniValue("NumberPortIp"), "5123");
  EXPECT_EQ(IniValue("NumberEventPort"), "5124");
  EXPECT_EQ(IniValue("TimeOut"), "10000");
  EXPECT_EQ(IniValue("hMsg"), "0");
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"<AUT_IniciaComunicacao>", "Porta=10.0.0.7",
                                  "Modo=modo", "Configuracao=cfg", "Serial=N",
                                  "NumberPortIp= 5123", "NumberEventPort= 5124",
                                  "TimeOut= 10000", "Handle= 0", "hWnd= 0",
                                  "hMsg= 0", "OK >AUT_IniciaComunicacao<"}))
      << Join(lines);
  char status[16] = "";
  EXPECT_TRUE(driver.ObtemStatus(status));
  EXPECT_STREQ(status, "FFF");
}

TEST_F(Session, FailedLogonLeavesNoFile) {
  AddPumps(1);
  sim.SimFailCall("ClientLogonEx", 0, 5);
  EXPECT_FALSE(Start());
  EXPECT_EQ(ReadFile(IniPath()), "");
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"Error: 5", "Falhou >AUT_IniciaComunicacao<"}))
      << Join(lines);
}

TEST_F(Session, PortsKeepTheirLow16BitsEverywhere) {
  WriteFile(IniPath(),
            "[Korvan]\r\nNumberPortIp=70000\r\nSerial=S\r\nTimeOut=250\r\n"
            "Handle=-1\r\nhWnd=7\r\n");
  ASSERT_TRUE(Start());
  EXPECT_EQ(CallsNamed("ClientLogonEx"),
            std::vector<std::string>{
                "ClientLogonEx(97,7,\"127.0.0.1\",4464,5124,250,-1,7,0)=0"});
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"Serial=S", "NumberPortIp= 4464",
                                  "NumberEventPort= 5124", "TimeOut= 250",
                                  "Handle= 4294967295", "hWnd= 7", "hMsg= 0"}))
      << Join(lines);
  EXPECT_EQ(IniValue("NumberPortIp"), "4464");
  EXPECT_EQ(IniValue("Handle"), "4294967295");
  EXPECT_EQ(IniValue("Serial"), "S") << "Serial is not written, nor removed";

  // Written back unsigned, the handle no longer converts: the next start
  // fails with its line instead of a fault, and makes no logon.
  sim.SimClearCalls();
  EXPECT_FALSE(Start());
  EXPECT_EQ(CountCalls("ClientLogonEx"), 0);
  EXPECT_EQ(LogMessages().back(), "Falhou >AUT_IniciaComunicacao<");
}

TEST_F(Session, ValuesThatDoNotConvertFailTheStart) {
  const char* files[] = {"[Korvan]\r\nNumberPortIp=abc\r\n",
                         "[Korvan]\r\nNumberEventPort=\r\n",
                         "[Korvan]\r\nTimeOut=10s\r\n",
                         "[Korvan]\r\nhMsg=3,0\r\n"};
  for (const char* file : files) {
    WriteFile(IniPath(), file);
    sim.SimClearCalls();
    EXPECT_FALSE(Start()) << file;
    EXPECT_EQ(LogMessages().back(), "Falhou >AUT_IniciaComunicacao<") << file;
  }
}

TEST_F(Session, AFileThatCannotBeWrittenFailsTheStart) {
  AddPumps(1);
  ASSERT_TRUE(CreateDirectoryA(IniPath().c_str(), nullptr));
  EXPECT_FALSE(Start());
  RemoveDirectoryA(IniPath().c_str());
  EXPECT_EQ(LogMessages().back(), "Falhou >AUT_IniciaComunicacao<");
}

TEST_F(Session, EachStartIsANewBindingAndLogon) {
  AddPumps(2);
  ASSERT_TRUE(driver.IniciaComunicacao("host-a", "", "x"));
  ASSERT_TRUE(driver.IniciaComunicacao("host-b", "", "y"));
  EXPECT_EQ(ControllerSession().logons, 2);
  EXPECT_EQ(CountCalls("ClientLogoff"), 0) << "no logoff between starts";
  EXPECT_STREQ(ControllerSession().serverAddress, "host-b");
}

TEST_F(Session, PumpCountUnavailableStillStarts) {
  AddPumps(2);
  sim.SimFailCall("GetPumpsCount", 1, 9);
  ASSERT_TRUE(Start());
  char status[8] = "XXXXXXX";
  EXPECT_TRUE(driver.ObtemStatus(status));
  EXPECT_STREQ(status, "") << "empty status text, one zero byte";
  EXPECT_EQ(status[1], 'X');
}

TEST_F(Session, EndLogsOffOrSaysWhyNot) {
  AddPumps(1);
  ASSERT_TRUE(Start());
  driver.FinalizaComunicacao();
  EXPECT_EQ(CountCalls("ClientLogoff"), 1);
  EXPECT_EQ(LogMessages().back(), "|AUT_FinalizaComunicacao|");
  EXPECT_FALSE(ControllerSession().loggedOn);

  sim.SimFailCall("ClientLogoff", 0, 6);
  driver.FinalizaComunicacao();
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"Error: 6",
                                  "< AUT_FinalizaComunicacao > Falha ao "
                                  "desconectar do servidor"}))
      << Join(lines);
}

}  // namespace
