// The station demo: a host's day at a simulated forecourt, from logon to
// logoff, shown as it happens.
#include "host/station_demo.h"

#include <windows.h>
#include <io.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "host_api/KorvanDriver.h"
#include "host_api/host_environment.h"
#include "host/log_tail.h"
#include "contract/sim_control.h"

namespace {

using Clock = std::chrono::steady_clock;

// The simulator's hoses, by identifier, in the controller's order.
std::vector<SimHose> Hoses(const SimControl& sim) {
  std::vector<SimHose> hoses;
  for (int id = 1; id < 1000; ++id) {
    SimHose hose{};
    if (sim.SimGetHose(id, &hose) == SIM_OK) hoses.push_back(hose);
  }
  return hoses;
}

class Demo {
 public:
  Demo(KorvanDriver& driver, const SimControl& sim, const DemoOptions& options)
      : driver_(driver), sim_(sim), options_(options) {}

  int Run();

 private:
  void Step(const char* what) { std::printf("\n== %s\n", what); }
  bool Begin();
  void Poll();
  void ShowPriceChange();
  void ShowLock();
  void PrintStatusLine(double elapsed);
  // Starts a new output line, wiping the live status line first.
  void NewLine();
  void End();

  KorvanDriver& driver_;
  const SimControl& sim_;
  DemoOptions options_;
  std::vector<SimHose> hoses_;
  std::string status_ = "";
  std::string shown_;  // the status line last printed
  // On a terminal the status line is redrawn in place; elsewhere it is
  // printed when it changes.
  bool live_ = _isatty(_fileno(stdout)) != 0;
  int handedOver_ = 0;
  int confirmed_ = 0;
};

bool Demo::Begin() {
  char signature[16] = "", version[16] = "";
  driver_.ObtemAssinatura(signature, version);
  std::printf("Driver %s, version %s\n", signature, version);
  driver_.IniciaGravacaoLog();

  char error[256] = "";
  if (sim_.SimLoadScenario(options_.scenario.c_str(), error, sizeof error) != SIM_OK) {
    std::printf("Cannot load the scenario %s: %s\n", options_.scenario.c_str(), error);
    return false;
  }
  Step("Start of communication");
  if (!driver_.IniciaComunicacao("127.0.0.1", "DEMO", "")) {
    std::printf("AUT_IniciaComunicacao answered 0: see the log.\n");
    return false;
  }
  std::printf("Logged on to the controller at 127.0.0.1.\n");

  Step("Nozzles");
  hoses_ = Hoses(sim_);
  for (const SimHose& hose : hoses_) {
    std::string number = std::to_string(hose.id);
    driver_.RegistraBico(number.c_str(), std::to_string(hose.pumpId).c_str(), "", "3", "3", "2",
                         "3", "");
    std::printf("  nozzle %-4s hose ordinal %-3d pump %d\n", number.c_str(), hose.ordinal,
                hose.pumpId);
  }
  return true;
}

void Demo::NewLine() {
  if (live_) std::printf("\r%70s\r", "");
}

void Demo::PrintStatusLine(double elapsed) {
  char line[128];
  std::snprintf(line, sizeof line, "pumps %-12s deliveries %d", status_.c_str(), handedOver_);
  if (live_)
    std::printf("\r  [%5.1fs / %ds] %s   ", elapsed, options_.seconds, line);
  else if (shown_ != line)
    std::printf("  [%5.1fs] %s\n", elapsed, line);
  shown_ = line;
  std::fflush(stdout);
}

void Demo::Poll() {
  char status[256];
  if (driver_.ObtemStatus(status)) status_ = status;
  KorvanDriver::Delivery d;
  if (!driver_.ObtemAbastecimento(d)) return;
  ++handedOver_;
  bool ok = driver_.ConfirmaAbastecimento();
  if (ok) ++confirmed_;
  char date[32];
  SYSTEMTIME day;
  VariantTimeToSystemTime(d.data, &day);
  std::snprintf(date, sizeof date, "%02d/%02d/%04d", day.wDay, day.wMonth, day.wYear);
  NewLine();
  std::printf("  %-6s %-9s %-8s %-9s %-11s %-11s %s %s %s\n", d.numeroLogico, d.volume,
              d.precoUnitario, d.valorTotal, d.encerranteInicial, d.encerranteFinal, date, d.hora,
              ok ? "confirmed" : "NOT confirmed");
}

void Demo::ShowPriceChange() {
  if (hoses_.empty()) return;
  const SimHose& hose = hoses_.front();
  std::string price = "6" + std::string(1, DecimalSeparator()) + "199";
  char before[32] = "?", after[32] = "?";
  std::string id = std::to_string(hose.id);
  driver_.ObtemPreco(id.c_str(), before);
  bool changed = driver_.AlteraPreco(std::to_string(hose.ordinal).c_str(), price.c_str());
  driver_.ObtemPreco(id.c_str(), after);
  NewLine();
  std::printf("  price of nozzle %s: %s -> %s (%s)\n", id.c_str(), before, after,
              changed ? "changed" : "AUT_AlteraPreco answered 0");
}

void Demo::ShowLock() {
  if (hoses_.size() < 2) return;
  std::string ordinal = std::to_string(hoses_[1].ordinal);
  bool locked = driver_.BloqueiaBico(ordinal.c_str());
  char status[256] = "";
  driver_.ObtemStatus(status);
  bool unlocked = driver_.DesbloqueiaBico(ordinal.c_str());
  NewLine();
  std::printf("  lock nozzle ordinal %s: %s, pumps %s; unlock: %s\n", ordinal.c_str(),
              locked ? "locked" : "refused", status, unlocked ? "unlocked" : "refused");
}

void Demo::End() {
  Step("End of communication");
  driver_.FinalizaComunicacao();
  int cleared = sim_.SimClearedCount();
  std::printf("Deliveries handed over and confirmed: %d\n", confirmed_);
  std::printf("Discarded by the driver's rules:      %d\n", cleared - confirmed_);
  std::printf("Still waiting in the controller:      %d\n", sim_.SimDeliveryCount());
  std::printf("Log file: %s\n", LogFilePath().c_str());
  driver_.ParaGravacaoLog();
}

int Demo::Run() {
  if (!Begin()) return 1;
  Step("Polling (status letters: F fault, B locked, P ready, E calling, A delivering)");
  std::printf("  %-6s %-9s %-8s %-9s %-11s %-11s %-10s %s\n", "nozzle", "volume", "price", "amount",
              "totalizer", "totalizer", "date", "time");
  const auto start = Clock::now();
  bool priceShown = false, lockShown = false;
  for (;;) {
    double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (elapsed >= options_.seconds) break;
    if (options_.deliveries > 0 && confirmed_ >= options_.deliveries) break;
    Poll();
    if (!priceShown && elapsed > options_.seconds / 3.0) {
      ShowPriceChange();
      priceShown = true;
    }
    if (!lockShown && elapsed > 2 * options_.seconds / 3.0) {
      ShowLock();
      lockShown = true;
    }
    PrintStatusLine(elapsed);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  NewLine();
  End();
  return 0;
}

}  // namespace

int RunStationDemo(KorvanDriver& driver, const DemoOptions& options) {
  SimControl sim;
  // With the tracing QXClient.dll in front of it, the simulator is the real
  // library behind the tracer.
  const std::string behindTracer = ExeFolder() + "QXClient.real.dll";
  if (!LoadSimControl(LoadLibraryA("QXClient.dll"), sim) &&
      !LoadSimControl(LoadLibraryA(behindTracer.c_str()), sim)) {
    std::printf("The demo needs the simulated QXClient.dll beside korvan-host.\n");
    return 1;
  }
  return Demo(driver, sim, options).Run();
}
