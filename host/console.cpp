// The console: every operation of the driver at a technician's fingertips,
// one command a line. The driver tells its host nothing but 0 or 1, so the
// console keeps the driver's log on and shows, for every 0, the lines that
// call wrote: the driver's own account of what went wrong.
#include "host/console.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "host_api/KorvanDriver.h"
#include "host_api/host_environment.h"
#include "host/log_tail.h"
#include "contract/sim_control.h"

namespace {

const char kHelp[] =
    "commands (hose id = the controller's hose identifier, as deliveries\n"
    "carry it; ordinal = the hose's place in the controller's list, from 1):\n"
    "  inicia [porta] [configuracao]     start communication (127.0.0.1)\n"
    "  finaliza                          end communication\n"
    "  registra <hose id> <bomba> <casas-litragem> <casas-preco> <casas-total>\n"
    "           <casas-encerrante> [configuracao]\n"
    "                                    register a nozzle by its hose id\n"
    "  poll                              fetch the first finished delivery\n"
    "  confirm                           confirm the delivery last fetched\n"
    "  status                            status letter of every pump\n"
    "  preco <hose id>                   price of the hose\n"
    "  encerrante <hose id>              totalizer of the hose\n"
    "  autoriza <hose id>                authorise the hose's pump\n"
    "  altera <ordinal> <preco>          set the price of the hose\n"
    "  bloqueia <ordinal>                stop the hose's pump\n"
    "  desbloqueia <ordinal>             re-authorise the hose's pump\n"
    "  bloqueia-todos | desbloqueia-todos    all pumps\n"
    "  log on | log off                  switch the driver's log\n"
    "  assinatura | suporte <code> | help | quit\n";

// Prices above this are typing errors far more often than prices.
const double kSanePriceLimit = 100.0;
const int kNozzleTableSize = 100;

bool WholeNumber(const std::string& text, long* value = nullptr) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || text[0] == ' ') return false;
  if (value) *value = parsed;
  return true;
}

// A hose identifier as the driver writes it in a delivery ("7", not "07").
bool CanonicalNumber(const std::string& text) {
  long value = 0;
  return WholeNumber(text, &value) && std::to_string(value) == text;
}

// A price in this machine's format: digits, at most one separator.
bool SanePrice(const std::string& text) {
  std::string plain;
  int separators = 0;
  for (char c : text) {
    if (c == DecimalSeparator()) {
      ++separators;
      plain += '.';
    } else if (c >= '0' && c <= '9') {
      plain += c;
    } else {
      return false;
    }
  }
  if (separators > 1 || plain.find_first_of("0123456789") == std::string::npos) return false;
  const double value = std::atof(plain.c_str());
  return value > 0 && value < kSanePriceLimit;
}

class Console {
 public:
  Console(KorvanDriver& driver, const ConsoleOptions& options)
      : driver_(driver), options_(options) {}
  int Run();

 private:
  bool Start();
  bool Execute(const std::string& line);
  // Shows the driver's log lines since the call began as the cause of a 0.
  void Failed(const std::string& what);
  void ShowLines(const std::vector<std::string>& lines);
  bool Usage(const char* usage) {
    std::printf("usage: %s\n", usage);
    return true;
  }
  std::string Ask(const std::string& question);

  void Inicia(const std::string& porta, const std::string& configuracao);
  void Finaliza();
  bool Registra(const std::vector<std::string>& words);
  void Poll();
  void Altera(const std::string& ordinal, const std::string& price);
  void Log(const std::string& word);
  bool ClientMissing();
  // The hose identifier of an ordinal, asked of the client library directly.
  bool HoseOfOrdinal(const std::string& ordinal, std::string& id);

  KorvanDriver& driver_;
  ConsoleOptions options_;
  LogTail tail_;
  SimControl sim_{};
  bool simulator_ = false;
  bool logOn_ = false;
  bool logWritable_ = false;
  int registered_ = 0;
};

bool Console::ClientMissing() {
  if (GetModuleHandleA("QXClient.dll") || LoadLibraryA("QXClient.dll")) return false;
  const DWORD error = GetLastError();
  if (error == ERROR_BAD_EXE_FORMAT)
    std::printf(
        "QXClient.dll is built for another architecture than korvan-host.exe (Windows "
        "error 193): a %d-bit host needs a %d-bit client library (use --client FOLDER)\n",
        static_cast<int>(8 * sizeof(void*)), static_cast<int>(8 * sizeof(void*)));
  else
    std::printf(
        "QXClient.dll not found beside korvan-host.exe or on the PATH (Windows error "
        "%lu): the driver cannot reach a controller (use --client FOLDER)\n",
        error);
  return true;
}

bool Console::Start() {
  std::printf("korvan-host console. Type help for the commands.\n");
  if (!ClientMissing()) simulator_ = LoadSimControl(GetModuleHandleA("QXClient.dll"), sim_);
  if (!options_.scenario.empty()) {
    if (!simulator_) {
      std::printf("--scenario needs the simulated QXClient.dll\n");
      return false;
    }
    char error[512] = "";
    if (sim_.SimLoadScenario(options_.scenario.c_str(), error, sizeof error) != SIM_OK) {
      std::printf("scenario %s: %s\n", options_.scenario.c_str(),
                  error[0] ? error : "cannot be read");
      return false;
    }
  }
  Log("on");
  return true;
}

void Console::ShowLines(const std::vector<std::string>& lines) {
  // The log is in the ANSI code page; a console window shows the OEM one.
  const bool window = _isatty(_fileno(stdout)) != 0;
  for (std::string line : lines) {
    if (window && !line.empty())
      CharToOemBuffA(line.c_str(), &line[0], static_cast<DWORD>(line.size()));
    std::printf("   | %s\n", line.c_str());
  }
}

void Console::Failed(const std::string& what) {
  std::printf("0: %s\n", what.c_str());
  const std::vector<std::string> lines = tail_.Since();
  if (!logOn_)
    std::printf("   (the driver's log is off: 'log on' shows the cause of the next 0)\n");
  else if (!logWritable_)
    std::printf("   (the driver's log cannot be written: no cause to show)\n");
  else if (lines.empty())
    std::printf("   (the driver wrote no log line for it)\n");
  ShowLines(lines);
}

std::string Console::Ask(const std::string& question) {
  std::printf("%s ", question.c_str());
  std::fflush(stdout);
  std::string answer;
  std::getline(std::cin, answer);
  return answer;
}

void Console::Log(const std::string& word) {
  if (word == "on") {
    if (logOn_) {
      std::printf("log already on\n");
      return;
    }
    tail_.Mark();
    driver_.IniciaGravacaoLog();
    logOn_ = true;
    logWritable_ = !tail_.Since().empty();
    if (!logWritable_)
      std::printf(
          "cannot write the driver's log %s: the causes of 0 results "
          "cannot be shown\n",
          LogFilePath().c_str());
    else
      std::printf("log on: %s\n", LogFilePath().c_str());
  } else {
    driver_.ParaGravacaoLog();
    logOn_ = false;
    std::printf("log off\n");
  }
}

void Console::Inicia(const std::string& porta, const std::string& configuracao) {
  const std::string server = porta.empty() ? "127.0.0.1" : porta;
  if (driver_.IniciaComunicacao(server.c_str(), "CONSOLE", configuracao.c_str())) {
    std::printf("logged on to %s\n", server.c_str());
    return;
  }
  Failed("no logon to " + server);
  if (ClientMissing()) return;
  char error[512] = "";
  if (simulator_ && sim_.SimScenarioError(error, sizeof error) > 0)
    std::printf("the simulator's scenario did not load: %s\n", error);
}

void Console::Finaliza() {
  driver_.FinalizaComunicacao();
  const std::vector<std::string> lines = tail_.Since();
  for (const std::string& line : lines)
    if (line.find("Falha ao desconectar") != std::string::npos) {
      std::printf("logoff failed\n");
      ShowLines(lines);
      return;
    }
  std::printf("logged off\n");
}

bool Console::Registra(const std::vector<std::string>& words) {
  static const char usage[] =
      "registra <hose id> <bomba> <casas-litragem> <casas-preco> <casas-total> "
      "<casas-encerrante> [configuracao]";
  if (words.size() < 7 || words.size() > 8) return Usage(usage);
  static const char* const names[] = {"hose id",     "bomba",       "casas-litragem",
                                      "casas-preco", "casas-total", "casas-encerrante"};
  for (int i = 0; i < 6; ++i)
    if (!WholeNumber(words[i + 1])) {
      std::printf("%s '%s' is not a whole number\n", names[i], words[i + 1].c_str());
      return Usage(usage);
    }
  if (!CanonicalNumber(words[1])) {
    std::printf(
        "hose id '%s' would never match a delivery: the driver writes "
        "it as %ld\n",
        words[1].c_str(), std::strtol(words[1].c_str(), nullptr, 10));
    return Usage(usage);
  }
  const std::string configuracao = words.size() == 8 ? words[7] : "";
  driver_.RegistraBico(words[1].c_str(), words[2].c_str(), "", words[3].c_str(), words[4].c_str(),
                       words[5].c_str(), words[6].c_str(), configuracao.c_str());
  if (++registered_ > kNozzleTableSize) {
    std::printf(
        "not stored: the driver holds %d nozzles for as long as it is "
        "loaded\n",
        kNozzleTableSize);
    return true;
  }
  std::vector<std::string> errors;
  for (const std::string& line : tail_.Since())
    if (line.rfind("ERRO", 0) == 0) errors.push_back(line);
  if (!errors.empty()) {
    std::printf("registered with the driver's defaults for what it could not read\n");
    ShowLines(errors);
    return true;
  }
  std::printf("registered hose id %s: pump %s, places %s/%s/%s/%s\n", words[1].c_str(),
              words[2].c_str(), words[3].c_str(), words[4].c_str(), words[5].c_str(),
              words[6].c_str());
  return true;
}

// Why AUT_ObtemAbastecimento answered 0, from the lines it logged.
std::string PollOutcome(const std::vector<std::string>& lines) {
  struct Rule {
    const char* line;
    const char* outcome;
  };
  static const Rule rules[] = {
      {"Abastecimento de um bico não registrado.",
       "delivery discarded by the driver's rule: its nozzle is not registered "
       "(the driver confirmed it: it is cleared from the controller)"},
      {"O abastecimento veio litragem muito pequena",
       "delivery discarded by the driver's rule: volume too small (below "
       "0.001, or volume x price below 0.01); it is cleared from the controller"},
      {"O abastecimento veio com a litragem muito pequena.",
       "delivery discarded by the driver's rule: volume x price below 0.01; "
       "it is cleared from the controller"},
      {"com dados invalidos",
       "no delivery handed over: a delivery whose data the driver cannot "
       "hand over stays in the controller (its line below says why)"},
      {"Sem abastecimento pendente", "no delivery waiting"},
  };
  for (const Rule& rule : rules)
    for (const std::string& line : lines)
      if (line.find(rule.line) != std::string::npos) return rule.outcome;
  if (!lines.empty() && lines.back().find("Litragem=") != std::string::npos)
    return "delivery left in the controller: another client holds its lock";
  return "no delivery handed over";
}

void Console::Poll() {
  KorvanDriver::Delivery d{};
  if (driver_.ObtemAbastecimento(d)) {
    std::printf(
        "nozzle %s volume %s price %s amount %s totalizers %s..%s "
        "time %s code %s (confirm to clear it)\n",
        d.numeroLogico, d.volume, d.precoUnitario, d.valorTotal, d.encerranteInicial,
        d.encerranteFinal, d.hora, d.text9);
    return;
  }
  Failed(PollOutcome(tail_.Since()));
}

bool Console::HoseOfOrdinal(const std::string& ordinal, std::string& id) {
  using GetHoseByOrdinal = int32_t(__stdcall*)(int32_t, int32_t*);
  HMODULE client = GetModuleHandleA("QXClient.dll");
  auto lookup = client ? reinterpret_cast<GetHoseByOrdinal>(
                             reinterpret_cast<void*>(GetProcAddress(client, "GetHoseByOrdinal")))
                       : nullptr;
  int32_t hose = 0;
  if (!lookup || lookup(std::atoi(ordinal.c_str()), &hose) != 0) return false;
  id = std::to_string(hose);
  return true;
}

void Console::Altera(const std::string& ordinal, const std::string& price) {
  if (!WholeNumber(ordinal) || price.empty()) {
    Usage("altera <ordinal> <preco>");
    return;
  }
  if (!SanePrice(price)) {
    const std::string answer =
        Ask("price '" + price + "' is not a positive number below " +
            std::to_string(static_cast<int>(kSanePriceLimit)) + " written with '" +
            std::string(1, DecimalSeparator()) + "': send it anyway? [y/N]");
    if (answer != "y" && answer != "Y") {
      std::printf("price not changed\n");
      return;
    }
  }
  std::string id;
  char before[64] = "?", after[64] = "?";
  const bool known = HoseOfOrdinal(ordinal, id);
  if (known && !driver_.ObtemPreco(id.c_str(), before)) std::strcpy(before, "?");
  tail_.Mark();
  if (!driver_.AlteraPreco(ordinal.c_str(), price.c_str())) {
    Failed("price not changed");
    return;
  }
  if (known && !driver_.ObtemPreco(id.c_str(), after)) std::strcpy(after, "?");
  if (known)
    std::printf("price of hose id %s (ordinal %s): %s -> %s\n", id.c_str(), ordinal.c_str(), before,
                after);
  else
    std::printf("price of the hose of ordinal %s set to %s\n", ordinal.c_str(), price.c_str());
}

bool Console::Execute(const std::string& line) {
  std::istringstream input(line);
  std::vector<std::string> words;
  for (std::string word; input >> word;) words.push_back(word);
  if (words.empty()) return true;
  const std::string& command = words[0];
  const std::string a = words.size() > 1 ? words[1] : "";
  const std::string b = words.size() > 2 ? words[2] : "";
  char text[256] = "";
  tail_.Mark();
  auto outcome = [&](bool ok, const char* failure) {
    if (ok)
      std::printf("ok\n");
    else
      Failed(failure);
  };
  auto needNumber = [&](const char* usage) {
    if (words.size() == 2 && WholeNumber(a)) return true;
    Usage(usage);
    return false;
  };
  if (command == "quit" || command == "exit") return false;
  if (command == "help") {
    std::printf("%s", kHelp);
  } else if (command == "inicia") {
    Inicia(a, b);
  } else if (command == "finaliza") {
    Finaliza();
  } else if (command == "registra") {
    Registra(words);
  } else if (command == "status") {
    if (driver_.ObtemStatus(text))
      std::printf(
          "%s (F fault, B locked, P ready, "
          "E calling, A delivering)\n",
          text);
    else
      Failed("no status");
  } else if (command == "poll") {
    Poll();
  } else if (command == "confirm") {
    outcome(driver_.ConfirmaAbastecimento(), "not confirmed");
  } else if (command == "preco" || command == "encerrante") {
    const bool price = command == "preco";
    if (!needNumber(price ? "preco <hose id>" : "encerrante <hose id>")) return true;
    if (price ? driver_.ObtemPreco(a.c_str(), text) : driver_.ObtemEncerrante(a.c_str(), text))
      std::printf("%s\n", text);
    else
      Failed(price ? "no price" : "no totalizer");
  } else if (command == "autoriza") {
    if (needNumber("autoriza <hose id>"))
      outcome(driver_.AutorizaAbastecimento(a.c_str()), "not authorised");
  } else if (command == "altera") {
    if (words.size() != 3) return Usage("altera <ordinal> <preco>");
    Altera(a, b);
  } else if (command == "bloqueia") {
    if (needNumber("bloqueia <ordinal>"))
      outcome(driver_.BloqueiaBico(a.c_str()), "pump not stopped");
  } else if (command == "desbloqueia") {
    if (needNumber("desbloqueia <ordinal>"))
      outcome(driver_.DesbloqueiaBico(a.c_str()), "pump not re-authorised");
  } else if (command == "bloqueia-todos") {
    outcome(driver_.BloqueiaTodosBicos(), "pumps not stopped");
  } else if (command == "desbloqueia-todos") {
    outcome(driver_.DesbloqueiaTodosBicos(), "pumps not re-authorised");
  } else if (command == "log") {
    if (words.size() != 2 || (a != "on" && a != "off")) return Usage("log on | log off");
    Log(a);
  } else if (command == "assinatura") {
    char version[16] = "";
    driver_.ObtemAssinatura(text, version);
    std::printf("%s %s\n", text, version);
  } else if (command == "suporte") {
    long code = 0;
    if (words.size() != 2 || !WholeNumber(a, &code)) return Usage("suporte <code>");
    std::printf("%d\n", driver_.VerificaSuporte(static_cast<int32_t>(code)) ? 1 : 0);
  } else {
    std::printf("unknown command '%s'; type help\n", command.c_str());
  }
  return true;
}

int Console::Run() {
  if (!Start()) return 1;
  std::string line;
  while (std::printf("> "), std::fflush(stdout), std::getline(std::cin, line))
    if (!Execute(line)) break;
  return 0;
}

}  // namespace

int RunConsole(KorvanDriver& driver, const ConsoleOptions& options) {
  return Console(driver, options).Run();
}
