#include "driver/communication.h"

#include <charconv>
#include <cstdint>
#include <string>
#include <system_error>

#include "base/log.h"
#include "base/number_texts.h"
#include "base/platform.h"
#include "client/bstr.h"
#include "pumps/status.h"

namespace korvan {

namespace {

const char kSection[] = "Korvan";

// The connection settings of _Korvan.ini, converted as they are read.
struct ConnectionSettings {
  std::string address;  // stored and written back; the logon uses the host's
  std::string serial;
  uint16_t callPort{};
  uint16_t eventPort{};
  std::string timeOut;
  int32_t handle{};
  int32_t window{};
  int32_t message{};
};

std::string IniPath() { return platform::HostFolder() + "_Korvan.ini"; }

std::string Read(const std::string& file, const char* key, const char* fallback) {
  return platform::ReadProfileString(file, kSection, key, fallback);
}

// A setting that does not convert: its text, for the log.
std::string NotAnInteger(std::string_view text) {
  return "'" + std::string(text) + "' " + kNotAnInteger;
}

// Ports outside 0..65535 keep their low 16 bits.
bool ReadPort(const std::string& file, const char* key, const char* fallback, uint16_t& port,
              std::string& error) {
  const std::string text = Read(file, key, fallback);
  int32_t value = 0;
  if (!ParseInteger(text, value)) {
    error = NotAnInteger(text);
    return false;
  }
  port = static_cast<uint16_t>(value);
  return true;
}

// A handle is written back as an unsigned 32-bit decimal: 2147483648 ..
// 4294967295 read back as the same 32 bits, so a negative handle survives the
// round trip. Anything else follows the integer text rule.
bool ReadHandle(const std::string& file, const char* key, int32_t& value, std::string& error) {
  const std::string text = Read(file, key, "0");
  if (ParseInteger(text, value)) return true;
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
  error = NotAnInteger(text);
  return false;
}

// Reads the keys in order; the first value that does not convert stops it,
// with `error` naming the text.
bool ReadSettings(const std::string& file, ConnectionSettings& s, std::string& error) {
  s.address = Read(file, "Porta", "127.0.0.1");
  s.serial = Read(file, "Serial", "N");
  if (!ReadPort(file, "NumberPortIp", "5123", s.callPort, error) ||
      !ReadPort(file, "NumberEventPort", "5124", s.eventPort, error))
    return false;
  s.timeOut = Read(file, "TimeOut", "10000");
  return ReadHandle(file, "Handle", s.handle, error) && ReadHandle(file, "hWnd", s.window, error) &&
         ReadHandle(file, "hMsg", s.message, error);
}

std::string Unsigned(int32_t value) { return std::to_string(static_cast<uint32_t>(value)); }

void LogSettings(std::string_view address, std::string_view mode, std::string_view configuration,
                 const ConnectionSettings& s) {
  WriteLog("Porta=", address);
  WriteLog("Modo=", mode);
  WriteLog("Configuracao=", configuration);
  WriteLog("Serial=", s.serial);
  WriteLog("NumberPortIp= ", std::to_string(s.callPort));
  WriteLog("NumberEventPort= ", std::to_string(s.eventPort));
  WriteLog("TimeOut= ", s.timeOut);
  WriteLog("Handle= ", Unsigned(s.handle));
  WriteLog("hWnd= ", Unsigned(s.window));
  WriteLog("hMsg= ", Unsigned(s.message));
}

bool WriteBack(const std::string& file, const ConnectionSettings& s) {
  auto write = [&](const char* key, const std::string& value) {
    return platform::WriteProfileString(file, kSection, key, value);
  };
  return write("Porta", s.address) && write("NumberPortIp", std::to_string(s.callPort)) &&
         write("NumberEventPort", std::to_string(s.eventPort)) && write("TimeOut", s.timeOut) &&
         write("Handle", Unsigned(s.handle)) && write("hWnd", Unsigned(s.window)) &&
         write("hMsg", Unsigned(s.message));
}

// False after the start's own lines, or with `error` set: a setting that
// does not convert.
bool Start(Session& session, std::string_view address, std::string_view mode,
           std::string_view configuration, std::string& error) {
  // What every start replaces, before anything can fail: a later
  // reconnection goes where the host said last, through a new binding.
  session.binding = std::make_unique<ClientBinding>();
  WriteLog("<AUT_IniciaComunicacao>");
  if (!session.binding->complete()) WriteLog(session.binding->failure());
  session.savedAddress = address;
  session.savedConfiguration = configuration;
  const std::string file = IniPath();
  ConnectionSettings settings;
  if (!ReadSettings(file, settings, error)) return false;
  LogSettings(address, mode, configuration, settings);
  int32_t timeOut{};
  if (!ParseInteger(settings.timeOut, timeOut)) {
    error = NotAnInteger(settings.timeOut);
    return false;
  }
  const AnsiBstr server(address);
  // A binding that lacks ClientLogonEx or GetPumpsCount did not load whole,
  // which its line above has told: the cause is dropped on purpose.
  if (!session
           .Call(entry::ClientLogonEx, kDriverClientId, kDriverClientType, server.get(),
                 settings.callPort, settings.eventPort, timeOut, settings.handle, settings.window,
                 settings.message)
           .ok())
    return false;

  // What every logon sets: the pump status (empty if the count cannot be
  // asked) and the re-engineering switch. The remembered delivery stays.
  ResetPumpStatus(session, 0);
  int32_t pumps = 0;
  const Result counted = session.Call(entry::GetPumpsCount, &pumps);
  if (counted.untold()) return false;
  ResetPumpStatus(session, counted.ok() ? pumps : 0);
  session.reengineerVolume = configuration.find("REL=S") != std::string_view::npos;
  // The session is live whether or not the file takes the settings.
  if (!WriteBack(file, settings)) WriteLog("Erro gravando ", file);
  WriteLog("OK >AUT_IniciaComunicacao<");
  return true;
}

}  // namespace

bool StartCommunication(Session& session, std::string_view address, std::string_view mode,
                        std::string_view configuration) {
  std::string error;
  if (Start(session, address, mode, configuration, error)) return true;
  if (!error.empty()) WriteLog(error);
  WriteLog("Falhou >AUT_IniciaComunicacao<");
  return false;
}

bool Reconnect(Session& session) {
  // Copies: the start replaces the saved texts it is given.
  const std::string address = session.savedAddress, configuration = session.savedConfiguration;
  return StartCommunication(session, address, "", configuration);
}

void EndCommunication(const Session& session) {
  // No session, or no entry point: not logged off, and the line says so; the
  // cause is dropped on purpose.
  const bool loggedOff = session.Call(entry::ClientLogoff).ok();
  WriteLog(loggedOff ? "|AUT_FinalizaComunicacao|"
                     : "< AUT_FinalizaComunicacao > Falha ao desconectar do servidor");
}

}  // namespace korvan
