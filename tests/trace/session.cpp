// A whole station session, step by step and the same every run, to record
// through the tracing QXClient.dll and to replay: it writes what the host
// sees (every driver call's result and outputs) and then the driver's log
// without its times, so that two runs compare byte for byte.
//
//   trace_session --out FILE --scenario FILE [--steps N] [--pace MS]
//                 [--network] [--planted STEP] [--marks FILE]
//
// In process the simulator's clock moves half a second a step (the
// simulator is QXClient.dll, or QXClient.real.dll behind the tracer); with
// --network the forecourt is qxsim-server's and runs in real time. --planted
// makes the host read a price where it reads the pumps' status at that step:
// another client call than the trace holds. --marks writes, at each step,
// how many lines the trace (QXTRACE_FILE) has. On stdout, at the end: the
// simulator's replay, when there is one.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/station.h"
#include "host_api/KorvanDriver.h"

namespace {

struct Options {
  std::string out, scenario, marks;
  int steps = 30, pace = 0, planted = 0;
  bool network = false;
};

std::string Text(const char* buffer) { return std::string(buffer); }

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
  size_t count = 0;
  for (char c : bytes) count += c == '\n';
  return count;
}

class Session {
 public:
  Session(KorvanDriver& driver, const Options& o) : driver_(driver), o_(o) {}
  int Run();

 private:
  void Say(const std::string& line) { out_ << line << "\n"; }
  void Poll(int step);
  void PriceChange();
  void Lock();

  KorvanDriver& driver_;
  const Options& o_;
  SimControl sim_{};
  bool simulator_ = false;
  std::ostringstream out_;
};

void Session::Poll(int step) {
  const std::string at = "step " + std::to_string(step);
  char status[64] = "";
  if (step == o_.planted) {
    const bool read = driver_.ObtemPreco("31", status);
    Say(at + " price " + std::to_string(read) + " " + Text(status));
  } else {
    const bool read = driver_.ObtemStatus(status);
    Say(at + " status " + std::to_string(read) + " " + Text(status));
  }
  KorvanDriver::Delivery d{};
  if (!driver_.ObtemAbastecimento(d)) {
    Say(at + " poll 0");
    return;
  }
  char date[32];
  std::snprintf(date, sizeof date, "%.6f", d.data);
  Say(at + " poll 1 " + Text(d.numeroLogico) + " " + Text(d.volume) + " " + Text(d.precoUnitario) +
      " " + Text(d.valorTotal) + " " + Text(d.encerranteInicial) + " " + Text(d.encerranteFinal) +
      " " + date + " " + Text(d.hora) + " " + Text(d.text8) + " " + Text(d.text9) + " [" +
      Text(d.text10) + "]");
  Say(at + " confirm " + std::to_string(driver_.ConfirmaAbastecimento()));
}

void Session::PriceChange() {
  char before[32] = "", after[32] = "";
  const bool read = driver_.ObtemPreco("31", before);
  const std::string price = "6" + std::string(1, DecimalSeparator()) + "199";
  const bool changed = driver_.AlteraPreco("1", price.c_str());
  const bool reread = driver_.ObtemPreco("31", after);
  Say("price " + std::to_string(read) + " " + before + " altera " + std::to_string(changed) + " " +
      std::to_string(reread) + " " + after);
}

void Session::Lock() {
  char status[64] = "";
  const bool locked = driver_.BloqueiaBico("2");
  const bool read = driver_.ObtemStatus(status);
  const bool unlocked = driver_.DesbloqueiaBico("2");
  const bool authorised = driver_.AutorizaAbastecimento("41");
  Say("lock " + std::to_string(locked) + " status " + std::to_string(read) + " " + status +
      " unlock " + std::to_string(unlocked) + " autoriza " + std::to_string(authorised));
}

int Session::Run() {
  if (!o_.network) {
    simulator_ = LoadSimControl(LoadLibraryA("QXClient.dll"), sim_) ||
                 LoadSimControl(LoadLibraryA((ExeFolder() + "QXClient.real.dll").c_str()), sim_);
    if (!simulator_) {
      std::fprintf(stderr, "trace_session: no simulator beside the program\n");
      return 2;
    }
    // Neither call touches a replay: in one the forecourt simply goes unasked.
    sim_.SimUseRealTime(0);
    char error[256] = "";
    if (sim_.SimLoadScenario(o_.scenario.c_str(), error, sizeof error) != SIM_OK) {
      std::fprintf(stderr, "trace_session: %s\n", error);
      return 2;
    }
  }
  std::ofstream marks;
  if (!o_.marks.empty()) marks.open(o_.marks);
  char signature[16] = "", version[16] = "";
  driver_.ObtemAssinatura(signature, version);
  driver_.IniciaGravacaoLog();
  Say(std::string("signature ") + signature + " " + version);
  Say("inicia " + std::to_string(driver_.IniciaComunicacao("127.0.0.1", "TRACE", "")));
  for (const auto& [hose, pump] : Hoses(o_.scenario)) {
    driver_.RegistraBico(hose.c_str(), pump.c_str(), "", "3", "3", "2", "3", "");
    Say("registra " + hose);
  }
  for (int step = 1; step <= o_.steps; ++step) {
    if (marks.is_open()) marks << "step " << step << " line " << TraceLines() << std::endl;
    if (simulator_) sim_.SimAdvanceClock(0.5);
    if (o_.pace > 0) Sleep(o_.pace);
    Poll(step);
    if (step == o_.steps / 3) PriceChange();
    if (step == 2 * o_.steps / 3) Lock();
  }
  driver_.FinalizaComunicacao();
  driver_.ParaGravacaoLog();
  Say("log:");
  for (const std::string& line : LogMessages()) Say(line);
  WriteFile(o_.out, out_.str());
  if (simulator_ && sim_.SimTraceDivergence(nullptr, 0) >= 0) {
    char divergence[1024] = "";
    sim_.SimTraceDivergence(divergence, sizeof divergence);
    std::printf("replay: answered %d calls, %s\n", sim_.SimTraceAnswered(),
                *divergence ? divergence : "no divergence");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ExitOnFault();
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : "";
    if (option == "--network") {
      o.network = true;
      continue;
    }
    if (option == "--out")
      o.out = value;
    else if (option == "--scenario")
      o.scenario = value;
    else if (option == "--marks")
      o.marks = value;
    else if (option == "--steps")
      o.steps = std::atoi(value);
    else if (option == "--pace")
      o.pace = std::atoi(value);
    else if (option == "--planted")
      o.planted = std::atoi(value);
    else {
      std::fprintf(stderr, "trace_session: unknown option %s\n", option.c_str());
      return 2;
    }
    ++i;
  }
  if (o.out.empty() || o.scenario.empty()) {
    std::fprintf(stderr, "trace_session: --out and --scenario are needed\n");
    return 2;
  }
  KorvanDriver driver;
  if (!driver.loaded()) {
    std::fprintf(stderr, "trace_session: no _Korvan.dll beside the program\n");
    return 2;
  }
  return Session(driver, o).Run();
}
