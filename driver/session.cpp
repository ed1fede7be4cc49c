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
bool ReadPort(const std::string& file, const char* key, const char* fallback,
              uint16_t& port, std::string& error) {
  int32_t value = 0;
  if (!TryStrToInt(Read(file, key, fallback), value, error)) return false;
  port = static_cast<uint16_t>(value & 0xFFFF);
  return true;
}

// A handle is written back as an unsigned 32-bit decimal: 2147483648 ..
// 4294967295 read back as the same 32 bits, so a negative handle survives the
// round trip. Anything else follows the integer text rule.
bool ReadHandle(const std::string& file, const char* key, int32_t& value,
                std::string& error) {
  const std::string text = Read(file, key, "0");
  if (TryStrToInt(text, value)) return true;
  const size_t digits = text.find_first_not_of(' ');
  uint32_t bits = 0;
  if (digits != std::string::npos) {
    const char* end = text.data() + text.size();
    const auto [stop, failed] = std::from_chars(text.data() + digits, end, bits);
    if (failed == std::errc() && stop == end) {
      value = static_cast<int32_t>(bits);
      return true;
    }
  }
  return TryStrToInt(text, value, error);  // fails with the conversion's message
}

// Reads the keys in order; the first value that does not convert stops it,
// with `error` naming the text.
bool ReadSettings(const std::string& file, ConnectionSettings& s,
                  std::string& error) {
  s.porta = Read(file, "Porta", "127.0.0.1");
  s.serial = Read(file, "Serial", "N");
  if (!ReadPort(file, "NumberPortIp", "5123", s.callPort, error) ||
      !ReadPort(file, "NumberEventPort", "5124", s.eventPort, error))
    return false;
  s.timeOut = Read(file, "TimeOut", "10000");
  return ReadHandle(file, "Handle", s.handle, error) &&
         ReadHandle(file, "hWnd", s.hWnd, error) &&
         ReadHandle(file, "hMsg", s.hMsg, error);
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

// Without the entry points the failure line alone tells it: what they say
// is dropped.
bool LogOn(const std::string& porta, const ConnectionSettings& s,
           std::string& error) {
  int32_t timeOut = 0;
  if (!TryStrToInt(s.timeOut, timeOut, error)) return false;
  std::string missing;
  auto logon = QX(ClientLogonEx, missing);
  if (!logon) return false;
  AnsiBstr address(porta);
  return CheckResult(logon(kDriverClientId, 7, address.get(), s.callPort,
                           s.eventPort, timeOut, s.handle, s.hWnd, s.hMsg));
}

// The pump count, or 0 when the controller does not say; false without the
// entry point.
bool PumpCount(int32_t& count) {
  std::string missing;
  auto getPumpsCount = QX(GetPumpsCount, missing);
  if (!getPumpsCount) return false;
  if (!CheckResult(getPumpsCount(&count))) count = 0;
  return true;
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

// False after the start's own lines, or with `error` set: a setting that
// does not convert.
bool Start(const std::string& porta, const std::string& modo,
           const std::string& configuracao, std::string& error) {
  ReplaceCurrentClient();
  WriteLog("<AUT_IniciaComunicacao>");
  // Saved before anything can fail, a setting that does not convert
  // included: a later reconnection goes where the host said last.
  savedPorta = porta;
  savedConfiguracao = configuracao;
  const std::string file = IniPath();
  ConnectionSettings settings;
  if (!ReadSettings(file, settings, error)) return false;
  LogSettings(porta, modo, configuracao, settings);
  if (!LogOn(porta, settings, error)) return false;

  ResetStatusBombas(0);  // stays empty if the count cannot be asked
  int32_t pumps = 0;
  if (!PumpCount(pumps)) return false;
  ResetStatusBombas(pumps);
  SetReengenhariaLitragem(configuracao.find("REL=S") != std::string::npos);
  // The session is live whether or not the file takes the settings.
  if (!WriteBack(file, settings)) WriteLog("Erro gravando ", file);
  WriteLog("OK >AUT_IniciaComunicacao<");
  return true;
}

}  // namespace

bool IniciaComunicacao(std::string porta, std::string modo,
                       std::string configuracao) {
  std::string error;
  if (Start(porta, modo, configuracao, error)) return true;
  if (!error.empty()) WriteLog(error);
  WriteLog("Falhou >AUT_IniciaComunicacao<");
  return false;
}

bool Reconecta() {
  return IniciaComunicacao(savedPorta, "", savedConfiguracao);
}

void FinalizaComunicacao() {
  std::string missing;  // no session, or no entry point: not logged off
  auto logoff = QX(ClientLogoff, missing);
  const bool loggedOff = logoff && CheckResult(logoff());
  WriteLog(loggedOff ? "|AUT_FinalizaComunicacao|"
                     : "< AUT_FinalizaComunicacao > Falha ao desconectar do servidor");
}
