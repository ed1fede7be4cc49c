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

  // Written back unsigned, the handle reads back as the same 32 bits.
  sim.SimClearCalls();
  EXPECT_TRUE(Start());
  EXPECT_EQ(CallsNamed("ClientLogonEx"),
            std::vector<std::string>{
                "ClientLogonEx(97,7,\"127.0.0.1\",4464,5124,250,-1,7,0)=0"});
}

TEST_F(Session, HandlesWrittenBackUnsignedReadBackAsTheSameBits) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {{"4294967295", -1},
               {"2147483648", INT32_MIN},
               {"3000000000", -1294967296},
               {"2147483647", INT32_MAX},
               {"-5", -5}};
  for (const Case& c : cases) {
    const std::string text = c.text;
    WriteFile(IniPath(), "[Korvan]\r\nHandle=" + text + "\r\nhWnd=" + text +
                             "\r\nhMsg=" + text + "\r\n");
    ASSERT_TRUE(Start()) << c.text;
    const SimSession session = ControllerSession();
    EXPECT_EQ(session.handle, c.value) << c.text;
    EXPECT_EQ(session.hWnd, c.value) << c.text;
    EXPECT_EQ(session.hMsg, c.value) << c.text;
    const std::string unsignedText =
        std::to_string(static_cast<uint32_t>(c.value));
    EXPECT_EQ(IniValue("Handle"), unsignedText) << c.text;
    EXPECT_EQ(IniValue("hMsg"), unsignedText) << c.text;
  }
}

TEST_F(Session, ValuesThatDoNotConvertFailTheStart) {
  const char* files[] = {"[Korvan]\r\nNumberPortIp=abc\r\n",
                         "[Korvan]\r\nNumberEventPort=\r\n",
                         "[Korvan]\r\nTimeOut=10s\r\n",
                         "[Korvan]\r\nhMsg=3,0\r\n",
                         "[Korvan]\r\nHandle=4294967296\r\n",
                         "[Korvan]\r\nhWnd=-2147483649\r\n",
                         "[Korvan]\r\nhMsg=$FFFFFFFF\r\n"};
  for (const char* file : files) {
    WriteFile(IniPath(), file);
    sim.SimClearCalls();
    EXPECT_FALSE(Start()) << file;
    EXPECT_EQ(LogMessages().back(), "Falhou >AUT_IniciaComunicacao<") << file;
  }
}

// The session is live all the same, and a reconnection inside a poll goes on.
// (Wine lets root write a read-only file; a file that another program holds
// without write sharing is refused the same way.)
TEST_F(Session, AFileThatCannotBeWrittenStillStarts) {
  AddPumps(1);
  const std::string path = IniPath();
  static HANDLE held;
  struct Case {
    const char* what;
    void (*make)(const std::string& path);
    void (*undo)(const std::string& path);
  } cases[] = {
      {"file held by another program",
       [](const std::string& p) {
         WriteFile(p, "[Korvan]\r\nTimeOut=250\r\n");
         held = CreateFileA(p.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
       },
       [](const std::string& p) {
         CloseHandle(held);
         RemoveFile(p);
       }},
      {"folder of that name",
       [](const std::string& p) { CreateDirectoryA(p.c_str(), nullptr); },
       [](const std::string& p) { RemoveDirectoryA(p.c_str()); }},
  };
  for (const Case& c : cases) {
    c.make(path);
    const bool started = Start();
    const std::string file = ReadFile(path);
    c.undo(path);
    EXPECT_TRUE(started) << c.what;
    auto lines = LogMessages();
    EXPECT_TRUE(ContainsRun(lines, {"Erro gravando " + path,
                                    "OK >AUT_IniciaComunicacao<"}))
        << c.what << Join(lines);
    EXPECT_EQ(file.find("NumberPortIp"), std::string::npos)
        << c.what << ": the file was written";
  }
}

// A start that fails on a setting still names the server of later
// reconnections.
TEST_F(Session, AFailedStartStillNamesTheServerToReconnectTo) {
  AddPumps(1);
  ASSERT_TRUE(driver.IniciaComunicacao("host-a", "", ""));
  WriteFile(IniPath(), "[Korvan]\r\nNumberPortIp=abc\r\n");
  EXPECT_FALSE(driver.IniciaComunicacao("host-b", "", "REL=S"));
  RemoveFile(IniPath());
  sim.SimSetConnected(0);
  KorvanDriver::Delivery out;
  driver.ObtemAbastecimento(out);
  EXPECT_STREQ(ControllerSession().serverAddress, "host-b");
  EXPECT_EQ(ControllerSession().logons, 2);
  auto lines = LogMessages();
  EXPECT_TRUE(ContainsRun(lines, {"Porta=host-b", "Modo=", "Configuracao=REL=S"}))
      << Join(lines);
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
