#include "driver/session.h"

#include <charconv>
#include <cstdint>
#include <system_error>

#include "client/TQXClient.h"
#include "client/bstr.h"
#include "base/log.h"
#include "base/number_texts.h"
#include "base/platform.h"
#include "deliveries/retrieval.h"
#include "pumps/status.h"

namespace {

const char kSection[] = "Korvan";

// The last start's arguments, kept for reconnection.
std::string savedPorta;
std::string savedConfiguracao;

// The connection settings of _Korvan.ini, converted as they are read.
struct ConnectionSettings {
  std::string porta;  // stored and written back; the address is the host's
  std::string serial;
  uint16_t callPort = 0;
  uint16_t eventPort = 0;
  std::string timeOut;
  int32_t handle = 0;
  int32_t hWnd = 0;
  int32_t hMsg = 0;
};

std::string IniPath() { return platform::HostFolder() + "_Korvan.ini"; }

std::string Read(const std::string& file, const char* key, const char* fallback) {
  return platform::ReadProfileString(file, kSection, key, fallback);
}

// Ports outside 0..65535 keep their low 16 bits.
uint16_t ReadPort(const std::string& file, const char* key, const char* fallback) {
  return static_cast<uint16_t>(StrToInt(Read(file, key, fallback)) & 0xFFFF);
}

// A handle is written back as an unsigned 32-bit decimal: 2147483648 ..
// 4294967295 read back as the same 32 bits, so a negative handle survives the
// round trip. Anything else follows the integer text rule.
int32_t ReadHandle(const std::string& file, const char* key) {
  const std::string text = Read(file, key, "0");
  int32_t value = 0;
  if (TryStrToInt(text, value)) return value;
  const size_t digits = text.find_first_not_of(' ');
  uint32_t bits = 0;
  if (digits != std::string::npos) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data() + digits, end, bits);
    if (error == std::errc() && stop == end)
      return static_cast<int32_t>(bits);
  }
  return StrToInt(text);  // fails with the conversion's own message
}

ConnectionSettings ReadSettings(const std::string& file) {
  ConnectionSettings s;
  s.porta = Read(file, "Porta", "127.0.0.1");
  s.serial = Read(file, "Serial", "N");
  s.callPort = ReadPort(file, "NumberPortIp", "5123");
  s.eventPort = ReadPort(file, "NumberEventPort", "5124");
  s.timeOut = Read(file, "TimeOut", "10000");
  s.handle = ReadHandle(file, "Handle");
  s.hWnd = ReadHandle(file, "hWnd");
  s.hMsg = ReadHandle(file, "hMsg");
  return s;
}

std::string Unsigned(int32_t value) {
  return std::to_string(static_cast<uint32_t>(value));
}

void LogSettings(const std::string& porta, const std::string& modo,
                 const std::string& configuracao, const ConnectionSettings& s) {
  WriteLog("Porta=", porta);
  WriteLog("Modo=", modo);
  WriteLog("Configuracao=", configuracao);
  WriteLog("Serial=", s.serial);
  WriteLog("NumberPortIp= ", std::to_string(s.callPort));
  WriteLog("NumberEventPort= ", std::to_string(s.eventPort));
  WriteLog("TimeOut= ", s.timeOut);
  WriteLog("Handle= ", Unsigned(s.handle));
  WriteLog("hWnd= ", Unsigned(s.hWnd));
  WriteLog("hMsg= ", Unsigned(s.hMsg));
}

bool LogOn(const std::string& porta, const ConnectionSettings& s) {
  int32_t timeOut = StrToInt(s.timeOut);
  AnsiBstr address(porta);
  return CheckResult(QX(ClientLogonEx)(kDriverClientId, 7, address.get(),
                                       s.callPort, s.eventPort, timeOut,
                                       s.handle, s.hWnd, s.hMsg));
}

// The pump count, or 0 when the controller does not say.
int32_t PumpCount() {
  int32_t count = 0;
  return CheckResult(QX(GetPumpsCount)(&count)) ? count : 0;
}

bool WriteBack(const std::string& file, const ConnectionSettings& s) {
  auto write = [&](const char* key, const std::string& value) {
    return platform::WriteProfileString(file, kSection, key, value);
  };
  return write("Porta", s.porta) &&
         write("NumberPortIp", std::to_string(s.callPort)) &&
         write("NumberEventPort", std::to_string(s.eventPort)) &&
         write("TimeOut", s.timeOut) && write("Handle", Unsigned(s.handle)) &&
         write("hWnd", Unsigned(s.hWnd)) && write("hMsg", Unsigned(s.hMsg));
}

bool Start(const std::string& porta, const std::string& modo,
           const std::string& configuracao) {
  ReplaceCurrentClient();
  WriteLog("<AUT_IniciaComunicacao>");
  // Saved before anything can fail, a setting that does not convert
  // included: a later reconnection goes where the host said last.
  savedPorta = porta;
  savedConfiguracao = configuracao;
  const std::string file = IniPath();
  ConnectionSettings settings = ReadSettings(file);
  LogSettings(porta, modo, configuracao, settings);
  if (!LogOn(porta, settings)) return false;

  ResetStatusBombas(0);  // stays empty if the count cannot be asked
  ResetStatusBombas(PumpCount());
  SetReengenhariaLitragem(configuracao.find("REL=S") != std::string::npos);
  // The session is live whether or not the file takes the settings.
  if (!WriteBack(file, settings)) WriteLog("Erro gravando ", file);
  WriteLog("OK >AUT_IniciaComunicacao<");
  return true;
}

}  // namespace

bool IniciaComunicacao(std::string porta, std::string modo,
                       std::string configuracao) {
  try {
    if (Start(porta, modo, configuracao)) return true;
  } catch (const EMissingEntryPoint&) {
    // Without the entry point the failure line alone tells it.
  } catch (const std::exception& error) {
    WriteLog(error.what());  // a setting that does not convert
  }
  WriteLog("Falhou >AUT_IniciaComunicacao<");
  return false;
}

bool Reconecta() {
  return IniciaComunicacao(savedPorta, "", savedConfiguracao);
}

void FinalizaComunicacao() {
  bool loggedOff = false;
  try {
    loggedOff = CheckResult(QX(ClientLogoff)());
  } catch (const std::exception&) {
  }
  WriteLog(loggedOff ? "|AUT_FinalizaComunicacao|"
                     : "< AUT_FinalizaComunicacao > Falha ao desconectar do servidor");
}
