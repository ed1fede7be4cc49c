// The console: every operation of the driver at the integrator's fingertips,
// one command a line, with a plain word for each 0 result.
#include "host/console.h"

#include <windows.h>

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>

#include "host/KorvanDriver.h"

namespace {

const char kHelp[] =
    "commands:\n"
    "  inicia [porta] [configuracao]   start communication (127.0.0.1)\n"
    "  finaliza                        end communication\n"
    "  registra <bico>                 register a nozzle (3,3,2,3 places)\n"
    "  status                          status letter of every pump\n"
    "  poll                            fetch the first finished delivery\n"
    "  confirm                         confirm the delivery last fetched\n"
    "  preco <bico>                    price of the hose with that id\n"
    "  encerrante <bico>               totalizer of the hose with that id\n"
    "  altera <bico> <preco>           set the price of the hose of that ordinal\n"
    "  autoriza <bico>                 authorise the pump of the hose id\n"
    "  bloqueia <bico> | desbloqueia <bico>   stop / re-authorise the pump\n"
    "  bloqueia-todos | desbloqueia-todos      all pumps\n"
    "  log on | log off                switch the driver's log\n"
    "  assinatura | suporte <code> | help | quit\n";

void Result(bool ok, const char* failure) {
  std::printf(ok ? "ok\n" : "0: %s (the driver's log says why)\n", failure);
}

bool Execute(KorvanDriver& driver, const std::string& line) {
  std::istringstream words(line);
  std::string command, a, b;
  words >> command >> a >> b;
  char text[256] = "";
  if (command.empty()) return true;
  if (command == "quit" || command == "exit") return false;
  if (command == "help") {
    std::printf("%s", kHelp);
  } else if (command == "inicia") {
    Result(driver.IniciaComunicacao(a.empty() ? "127.0.0.1" : a.c_str(), "CONSOLE",
                                    b.c_str()),
           "no logon");
  } else if (command == "finaliza") {
    driver.FinalizaComunicacao();
    std::printf("done\n");
  } else if (command == "registra") {
    driver.RegistraBico(a.c_str(), "", "", "3", "3", "2", "3", "");
    std::printf("registered %s\n", a.c_str());
  } else if (command == "status") {
    bool ok = driver.ObtemStatus(text);
    if (ok) std::printf("%s\n", text);
    else Result(false, "no status (no connection?)");
  } else if (command == "poll") {
    KorvanDriver::Delivery d;
    if (driver.ObtemAbastecimento(d))
      std::printf("nozzle %s volume %s price %s amount %s totalizers %s..%s "
                  "time %s code %s\n",
                  d.numeroLogico, d.volume, d.precoUnitario, d.valorTotal,
                  d.encerranteInicial, d.encerranteFinal, d.hora, d.text9);
    else
      Result(false, "no delivery handed over (none waiting, discarded or locked)");
  } else if (command == "confirm") {
    Result(driver.ConfirmaAbastecimento(), "the controller refused the confirmation");
  } else if (command == "preco" || command == "encerrante") {
    bool ok = command == "preco" ? driver.ObtemPreco(a.c_str(), text)
                                 : driver.ObtemEncerrante(a.c_str(), text);
    if (ok) std::printf("%s\n", text);
    else Result(false, "unknown hose or not a number");
  } else if (command == "altera") {
    Result(driver.AlteraPreco(a.c_str(), b.c_str()),
           "price not changed (unknown ordinal, or the price is not a number "
           "in this machine's format)");
  } else if (command == "autoriza") {
    Result(driver.AutorizaAbastecimento(a.c_str()), "not authorised");
  } else if (command == "bloqueia") {
    Result(driver.BloqueiaBico(a.c_str()), "not locked");
  } else if (command == "desbloqueia") {
    Result(driver.DesbloqueiaBico(a.c_str()), "not unlocked");
  } else if (command == "bloqueia-todos") {
    Result(driver.BloqueiaTodosBicos(), "pumps not stopped");
  } else if (command == "desbloqueia-todos") {
    Result(driver.DesbloqueiaTodosBicos(), "pumps not re-authorised");
  } else if (command == "log") {
    if (a == "on") driver.IniciaGravacaoLog();
    else driver.ParaGravacaoLog();
    std::printf("log %s\n", a == "on" ? "on" : "off");
  } else if (command == "assinatura") {
    char version[16];
    driver.ObtemAssinatura(text, version);
    std::printf("%s %s\n", text, version);
  } else if (command == "suporte") {
    std::printf("%d\n", driver.VerificaSuporte(std::atoi(a.c_str())) ? 1 : 0);
  } else {
    std::printf("unknown command '%s'; type help\n", command.c_str());
  }
  return true;
}

}  // namespace

int RunConsole(KorvanDriver& driver) {
  std::printf("korvan-host console. Type help for the commands.\n");
  std::string line;
  while (std::printf("> "), std::fflush(stdout), std::getline(std::cin, line))
    if (!Execute(driver, line)) break;
  return 0;
}
