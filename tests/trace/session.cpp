// A whole station session, step by step and the same every run, to record through the tracing
// QXClient.dll and to replay: it writes what the host sees (every driver call's result and outputs)
// and then the driver's log without its times, so that two runs compare byte for byte.
//
//   trace_session --out FILE --scenario FILE [--steps N] [--pace MS]
//                 [--network] [--planted STEP] [--marks FILE]
//
// In process the simulator's clock moves half a second a step (the simulator is QXClient.dll, or
// QXClient.real.dll behind the tracer); with --network the forecourt is qxsim-server's and runs in
// real time. --planted makes the host read a price where it reads the pumps' status at that step:
// another client call than the trace holds. --marks writes, at each step, how many lines the trace
// (QXTRACE_FILE) has. On stdout, at the end: the simulator's replay, when there is one.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/station.h"
#include "host_api/KorvanDriver.h"

namespace {

struct Options {
  std::string out, scenario, marks;
  int steps, pace, planted;
  bool network;
};

// Hose identifiers and pump numbers, from the scenario's hose lines.
std::vector<std::pair<std::string, std::string>> Hoses(const std::string& scenario) {
  std::vector<std::pair<std::string, std::string>> hoses;
  std::istringstream lines(ReadFile(scenario));
  for (std::string line; std::getline(lines, line);) {
    int id = 0, pump = 0;
    if (std::sscanf(line.c_str(), "hose %d pump %d", &id, &pump) == 2)
      hoses.emplace_back(std::to_string(id), std::to_string(pump));
  }
  return hoses;
}

size_t TraceLines() {
  char path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("QXTRACE_FILE", path, sizeof path);
  if (n == 0 || n >= sizeof path) return 0;
  const std::string bytes = ReadFile(path);
  return std::count(bytes.begin(), bytes.end(), '\n');
}

std::string Flag(bool value) { return std::to_string(value); }

// The host's side of one step: the status (or, planted, a price) and a delivery, confirmed.
void Poll(KorvanDriver& driver, std::ostream& out, int step, bool planted) {
  const std::string at = "step " + std::to_string(step);
  char status[64] = "";
  if (planted)
    out << at << " price " << Flag(driver.ObtemPreco("31", status)) << " " << status << "\n";
  else
    out << at << " status " << Flag(driver.ObtemStatus(status)) << " " << status << "\n";
  KorvanDriver::Delivery d{};
  if (!driver.ObtemAbastecimento(d)) {
    out << at << " poll 0\n";
    return;
  }
  char date[32];
  std::snprintf(date, sizeof date, "%.6f", d.data);
  out << at << " poll 1";
  const char* texts[] = {
      d.numeroLogico,    d.volume, d.precoUnitario, d.valorTotal, d.encerranteInicial,
      d.encerranteFinal, date,     d.hora,          d.text8,      d.text9};
  for (const char* text : texts) out << " " << text;
  out << " [" << d.text10 << "]\n";
  out << at << " confirm " << Flag(driver.ConfirmaAbastecimento()) << "\n";
}

void PriceChange(KorvanDriver& driver, std::ostream& out) {
  char before[32] = "", after[32] = "";
  const bool read = driver.ObtemPreco("31", before);
  const std::string price = "6" + std::string(1, DecimalSeparator()) + "199";
  const bool changed = driver.AlteraPreco("1", price.c_str());
  const bool reread = driver.ObtemPreco("31", after);
  out << "price " << Flag(read) << " " << before << " altera " << Flag(changed) << " "
      << Flag(reread) << " " << after << "\n";
}

void Lock(KorvanDriver& driver, std::ostream& out) {
  char status[64] = "";
  const bool locked = driver.BloqueiaBico("2");
  const bool read = driver.ObtemStatus(status);
  const bool unlocked = driver.DesbloqueiaBico("2");
  const bool authorised = driver.AutorizaAbastecimento("41");
  out << "lock " << Flag(locked) << " status " << Flag(read) << " " << status << " unlock "
      << Flag(unlocked) << " autoriza " << Flag(authorised) << "\n";
}

// Why the session cannot be run; exit status 2.
int GiveUp(const char* why) {
  std::fprintf(stderr, "trace_session: %s\n", why);
  return 2;
}

int Run(KorvanDriver& driver, const Options& o) {
  SimControl sim{};
  bool simulator = false;
  if (!o.network) {
    simulator = LoadSimControl(LoadLibraryA("QXClient.dll"), sim) ||
                LoadSimControl(LoadLibraryA((ExeFolder() + "QXClient.real.dll").c_str()), sim);
    if (!simulator) return GiveUp("no simulator beside the program");
    // Neither call touches a replay: in one the forecourt simply goes unasked.
    sim.SimUseRealTime(0);
    char error[256] = "";
    if (sim.SimLoadScenario(o.scenario.c_str(), error, sizeof error) != SIM_OK)
      return GiveUp(error);
  }
  std::ofstream marks;
  if (!o.marks.empty()) marks.open(o.marks);
  std::ostringstream out;
  char signature[16] = "", version[16] = "";
  driver.ObtemAssinatura(signature, version);
  driver.IniciaGravacaoLog();
  out << "signature " << signature << " " << version << "\n";
  out << "inicia " << Flag(driver.IniciaComunicacao("127.0.0.1", "TRACE", "")) << "\n";
  for (const auto& [hose, pump] : Hoses(o.scenario)) {
    driver.RegistraBico(hose.c_str(), pump.c_str(), "", "3", "3", "2", "3", "");
    out << "registra " << hose << "\n";
  }
  for (int step = 1; step <= o.steps; ++step) {
    if (marks.is_open()) marks << "step " << step << " line " << TraceLines() << std::endl;
    if (simulator) sim.SimAdvanceClock(0.5);
    if (o.pace > 0) Sleep(o.pace);
    Poll(driver, out, step, step == o.planted);
    if (step == o.steps / 3) PriceChange(driver, out);
    if (step == 2 * o.steps / 3) Lock(driver, out);
  }
  driver.FinalizaComunicacao();
  driver.ParaGravacaoLog();
  out << "log:\n";
  for (const std::string& line : LogMessages()) out << line << "\n";
  WriteFile(o.out, out.str());
  if (simulator && sim.SimTraceDivergence(nullptr, 0) >= 0) {
    char divergence[1024] = "";
    sim.SimTraceDivergence(divergence, sizeof divergence);
    std::printf("replay: answered %d calls, %s\n", sim.SimTraceAnswered(),
                *divergence ? divergence : "no divergence");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ExitOnFault();
  const auto text = [&](const char* name) { return TextOption(argc, argv, name); };
  const auto number = [&](const char* name, int fallback) {
    return static_cast<int>(Option(argc, argv, name, fallback));
  };
  const bool network = std::find(argv + 1, argv + argc, std::string("--network")) != argv + argc;
  const Options o{
      text("--out"),       text("--scenario"),     text("--marks"), number("--steps", 30),
      number("--pace", 0), number("--planted", 0), network};
  if (o.out.empty() || o.scenario.empty()) return GiveUp("--out and --scenario are needed");
  KorvanDriver driver;
  if (!driver.loaded()) return GiveUp("no _Korvan.dll beside the program");
  return Run(driver, o);
}
