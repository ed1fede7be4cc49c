// Starting and ending communication: configuration file, logon arguments, the lines logged, and
// what a start leaves behind.
#include <regex>
#include <tuple>

#include "tests/win/driver_test.h"

namespace {

// The keys of the file's [Korvan] section, in file order, with their values.
Lines IniLines() {
  const std::string file = ReadFile(IniPath());
  const std::regex setting("[^\r\n=]*=[^\r\n]*");
  return Lines(std::sregex_token_iterator(file.begin(), file.end(), setting),
               std::sregex_token_iterator());
}

using Session = Station;

TEST_F(Session, DefaultsWithoutAFileAndTheSevenKeysWrittenBack) {
  AddPumps(sim, 3);
  ASSERT_TRUE(driver.IniciaComunicacao("10.0.0.7", "modo", "cfg"));
  EXPECT_EQ(Calls(sim), Lines({"ClientLogonEx(97,7,\"10.0.0.7\",5123,5124,10000,0,0,0)=0",
                               "GetPumpsCount()=0"}));
  EXPECT_EQ(IniLines(), Lines({"Porta=127.0.0.1", "NumberPortIp=5123", "NumberEventPort=5124",
                               "TimeOut=10000", "Handle=0", "hWnd=0", "hMsg=0"}));
  EXPECT_EQ(LastLines(12),
            Lines({"<AUT_IniciaComunicacao>", "Porta=10.0.0.7", "Modo=modo", "Configuracao=cfg",
                   "Serial=N", "NumberPortIp= 5123", "NumberEventPort= 5124", "TimeOut= 10000",
                   "Handle= 0", "hWnd= 0", "hMsg= 0", "OK >AUT_IniciaComunicacao<"}));
  EXPECT_EQ(Status(), "FFF");
}

// Every key read from the file, each with its own value; ports keep their low 16 bits, unsigned
// (bit 15 set in both).
TEST_F(Session, SettingsFromTheFileAreUsedLoggedAndWrittenBack) {
  WriteFile(IniPath(),
            "[Korvan]\r\nPorta=10.9.9.9\r\nSerial=S\r\nNumberPortIp=40000\r\n"
            "NumberEventPort=102768\r\nTimeOut=250\r\nHandle=-1\r\nhWnd=7\r\n"
            "hMsg=9\r\n");
  ASSERT_TRUE(Start());
  EXPECT_EQ(Calls(sim, "ClientLogonEx"),
            Lines{"ClientLogonEx(97,7,\"127.0.0.1\",40000,37232,250,-1,7,9)=0"});
  EXPECT_TRUE(HasRun(LogMessages(), {"Serial=S", "NumberPortIp= 40000", "NumberEventPort= 37232",
                                     "TimeOut= 250", "Handle= 4294967295", "hWnd= 7", "hMsg= 9"}));
  EXPECT_EQ(IniLines(),
            Lines({"Porta=10.9.9.9", "Serial=S", "NumberPortIp=40000", "NumberEventPort=37232",
                   "TimeOut=250", "Handle=4294967295", "hWnd=7", "hMsg=9"}));
  // Written back unsigned, a handle reads back as the same 32 bits.
  // clang-format off
  const std::pair<std::string, int32_t> handles[] = {{"4294967295", -1}, {"2147483648", INT32_MIN},
      {"3000000000", -1294967296}, {"2147483647", INT32_MAX}, {"-5", -5}, {"\" 4294967294\"", -2}};
  // clang-format on
  for (const auto& [text, value] : handles) {
    SCOPED_TRACE(text);
    WriteFile(IniPath(),
              "[Korvan]\r\nHandle=" + text + "\r\nhWnd=" + text + "\r\nhMsg=" + text + "\r\n");
    ASSERT_TRUE(Start());
    const SimSession session = SessionOf(sim);
    EXPECT_EQ(std::vector<int32_t>({session.handle, session.hWnd, session.hMsg}),
              std::vector<int32_t>(3, value));
    const std::string written = std::to_string(static_cast<uint32_t>(value));
    EXPECT_TRUE(HasRun(IniLines(), {"Handle=" + written, "hWnd=" + written, "hMsg=" + written}));
    EXPECT_TRUE(
        HasRun(LogMessages(), {"Handle= " + written, "hWnd= " + written, "hMsg= " + written}))
        << "logged unsigned as well";
  }
}

// A failed start leaves the file, the status text and the switch alone; it names the server of
// later reconnections all the same.
TEST_F(Session, AFailedStartChangesNothingButTheSavedArguments) {
  AddPumps(sim, 2);
  ASSERT_TRUE(Start());
  const std::string file = ReadFile(IniPath());
  // A file of nullptr is the one the last start left; a logon code of 0 lets the logon through.
  const std::tuple<const char*, const char*, int> rows[] = {
      {"logon refused", nullptr, 5},
      {"logon refused with a negative code", nullptr, -5},
      {"call port", "[Korvan]\r\nNumberPortIp=abc\r\n", 0},
      {"event port", "[Korvan]\r\nNumberEventPort=\r\n", 0},
      {"time-out", "[Korvan]\r\nTimeOut=10s\r\n", 0},
      {"message", "[Korvan]\r\nhMsg=3,0\r\n", 0},
      {"handle beyond 32 bits", "[Korvan]\r\nHandle=4294967296\r\n", 0},
      {"handle with a tail", "[Korvan]\r\nHandle=4294967295x\r\n", 0},
      {"window below 32 bits", "[Korvan]\r\nhWnd=-2147483649\r\n", 0},
      {"message in hexadecimal", "[Korvan]\r\nhMsg=$FFFFFFFF\r\n", 0},
  };
  for (const auto& [name, ini, logonCode] : rows) {
    SCOPED_TRACE(name);
    WriteFile(IniPath(), ini ? ini : file);
    if (logonCode) sim.SimFailCall("ClientLogonEx", 1, logonCode);
    sim.SimQueuePumpEvent(1, 4);
    EXPECT_EQ(Status(), "PF");
    EXPECT_FALSE(driver.IniciaComunicacao("host-b", "", "REL=S"));
    EXPECT_EQ(LastLine(), "Falhou >AUT_IniciaComunicacao<");
    EXPECT_EQ(ReadFile(IniPath()), ini ? ini : file) << "the file is left alone";
    EXPECT_EQ(Status(), "PF") << "the status text is kept";
  }
  RemoveFile(IniPath());
  sim.SimSetConnected(0);
  KorvanDriver::Delivery out;
  driver.ObtemAbastecimento(out);
  EXPECT_STREQ(SessionOf(sim).serverAddress, "host-b");
  EXPECT_TRUE(HasRun(LogMessages(), {"Porta=host-b", "Modo=", "Configuracao=REL=S"}));
}

// The session is live all the same: here a folder holds the file's name (a read-only file would not
// do, as Wine lets root write it).
TEST_F(Session, AFileThatCannotBeWrittenStillStarts) {
  const std::string path = IniPath();
  CreateDirectoryA(path.c_str(), nullptr);
  const bool started = Start();
  RemoveDirectoryA(path.c_str());
  EXPECT_TRUE(started);
  EXPECT_EQ(LastLines(2), Lines({"Erro gravando " + path, "OK >AUT_IniciaComunicacao<"}));
}

TEST_F(Session, EachStartIsANewLogonWithoutALogoff) {
  AddPumps(sim, 2);
  ASSERT_TRUE(driver.IniciaComunicacao("host-a", "", "x"));
  sim.SimQueuePumpEvent(2, 8);
  EXPECT_EQ(Status(), "FA");
  ASSERT_TRUE(driver.IniciaComunicacao("host-b", "", "y"));
  EXPECT_EQ(Status(), "FF") << "every pump back to F";
  EXPECT_EQ(SessionOf(sim).logons, 2);
  EXPECT_STREQ(SessionOf(sim).serverAddress, "host-b");
  EXPECT_EQ(sim.SimCountCalls("ClientLogoff"), 0);
}

TEST_F(Session, PumpCountUnavailableStillStarts) {
  AddPumps(sim, 2);
  for (int code : {9, -9}) {
    SCOPED_TRACE(code);
    sim.SimFailCall("GetPumpsCount", 1, code);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(
        HasRun(LogMessages(), {"Error: " + std::to_string(code), "OK >AUT_IniciaComunicacao<"}));
    char status[8] = "XXXXXXX";
    EXPECT_TRUE(driver.ObtemStatus(status));
    EXPECT_EQ(std::string(status, 3), std::string("\0XX", 3)) << "one zero byte";
  }
}

TEST_F(Session, EndLogsOffOrSaysWhyNot) {
  ASSERT_TRUE(Start());
  driver.FinalizaComunicacao();
  EXPECT_EQ(Calls(sim, "ClientLogoff"), Lines{"ClientLogoff()=0"});
  EXPECT_EQ(LastLines(2), Lines({"OK >AUT_IniciaComunicacao<", "|AUT_FinalizaComunicacao|"}));
  for (int code : {6, -6}) {
    sim.SimClearFaults();
    sim.SimFailCall("ClientLogoff", 0, code);
    driver.FinalizaComunicacao();
    EXPECT_EQ(LastLines(2),
              Lines({"Error: " + std::to_string(code),
                     "< AUT_FinalizaComunicacao > Falha ao desconectar do servidor"}));
  }
}

// The server address travels as a BSTR made at every logon, the host's and each reconnection's: a
// long address shows any that is not freed.
TEST_F(Session, RepeatedLogonsAndReconnectionsHoldNoMemory) {
  driver.ParaGravacaoLog();
  const std::string address(16 * 1024, 'a');
  KorvanDriver::Delivery out;
  auto logons = [&](int times) {
    for (int i = 0; i < times; ++i) {
      ASSERT_TRUE(driver.IniciaComunicacao(address.c_str(), "", ""));
      sim.SimSetConnected(0);
      EXPECT_FALSE(driver.ObtemAbastecimento(out));  // reconnects, finds nothing
      sim.SimClearCalls();
    }
  };
  ExpectNoGrowth(logons, 20, 100);  // 200 addresses of 32 KiB would be 6.4 MB
  EXPECT_EQ(sim.SimCountCalls("*"), 0);
  EXPECT_EQ(SessionOf(sim).logons, 240);
}

// A host thread that asks for the status while another thread has just asked.
DWORD WINAPI AskStatus(LPVOID driver) {
  char status[512];
  return static_cast<KorvanDriver*>(driver)->ObtemStatus(status) ? 1 : 2;
}

// An operation that has returned leaves the driver to the host's other threads.
TEST_F(Session, AnOperationOnAnotherThreadIsNotKeptWaiting) {
  AddPumps(sim, 2);
  ASSERT_TRUE(Start());
  EXPECT_EQ(Status(), "FF");
  HANDLE thread = CreateThread(nullptr, 0, AskStatus, &driver, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  const DWORD waited = WaitForSingleObject(thread, 20000);
  DWORD answer = 0;
  GetExitCodeThread(thread, &answer);
  if (waited != WAIT_OBJECT_0) TerminateThread(thread, 3);
  CloseHandle(thread);
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0)) << "the other thread still waits after 20 s";
  EXPECT_EQ(answer, 1u) << "AUT_ObtemStatus on the other thread";
}

}  // namespace
