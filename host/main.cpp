// korvan-host: loads _Korvan.dll as a point-of-sale program does and works a
// station through it.
//
//   korvan-host demo [--seconds N] [--deliveries N] [--scenario FILE]
//   korvan-host console [--client FOLDER] [--scenario FILE]
//   korvan-host trace FILE
//
// --client loads FOLDER\QXClient.dll (the real client library) before the
// driver looks for one, so the driver binds that library and not the
// simulator beside this program. --scenario names a scenario for the
// simulator, relative to the folder the program is started from. trace sums
// up a trace that the tracing QXClient.dll recorded (host/trace_summary.h).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host_api/KorvanDriver.h"
#include "host/console.h"
#include "host_api/host_environment.h"
#include "host/station_demo.h"
#include "host/trace_summary.h"

namespace {

int Usage(const std::string& problem = "") {
  if (!problem.empty()) std::printf("korvan-host: %s\n", problem.c_str());
  std::printf(
      "usage: korvan-host demo [--seconds N] [--deliveries N] [--scenario FILE]\n"
      "       korvan-host console [--client FOLDER] [--scenario FILE]\n"
      "       korvan-host trace FILE\n");
  return 2;
}

// A whole number of at least `least`, written with digits only.
bool Count(const std::string& text, int least, int& value) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  value = std::atoi(text.c_str());
  return value >= least;
}

// A path as the caller meant it: relative to the folder it started us in.
std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
  return length > 0 && length < sizeof full ? std::string(full, length) : path;
}

struct Options {
  std::string mode;
  DemoOptions demo;
  ConsoleOptions console;
  std::string clientFolder;
  std::string trace;
};

// 0 when the command line is good, else the exit code of its usage.
int Parse(int argc, char** argv, Options& o) {
  if (argc < 2) return Usage();
  o.mode = argv[1];
  if (o.mode == "trace") {
    if (argc != 3) return Usage("trace takes the trace file, and nothing else");
    o.trace = argv[2];
    return 0;
  }
  const bool demo = o.mode == "demo";
  if (!demo && o.mode != "console") return Usage("unknown mode '" + o.mode + "'");
  o.demo.scenario = ExeFolder() + "scenarios\\station.scenario";
  for (int i = 2; i < argc; i += 2) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return Usage(option + " needs a value");
    const std::string value = argv[i + 1];
    if (demo && option == "--seconds") {
      if (!Count(value, 1, o.demo.seconds))
        return Usage("--seconds takes a whole number of seconds, not '" + value + "'");
    } else if (demo && option == "--deliveries") {
      if (!Count(value, 0, o.demo.deliveries))
        return Usage("--deliveries takes a whole number, not '" + value + "'");
    } else if (option == "--scenario") {
      o.demo.scenario = o.console.scenario = FullPath(value);
    } else if (!demo && option == "--client") {
      o.clientFolder = value;
    } else {
      return Usage("unknown option '" + option + "' for " + o.mode);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (int usage = Parse(argc, argv, options)) return usage;
  if (options.mode == "trace") return RunTraceSummary(options.trace);
  if (!options.clientFolder.empty()) {
    std::string path = options.clientFolder + "\\QXClient.dll";
    if (!LoadLibraryA(path.c_str())) {
      const DWORD error = GetLastError();
      std::printf("cannot load %s (Windows error %lu%s)\n", path.c_str(), error,
                  error == ERROR_BAD_EXE_FORMAT ? ": built for another architecture" : "");
      return 1;
    }
  }
  KorvanDriver driver;
  if (!driver.loaded()) {
    std::printf("cannot load _Korvan.dll beside korvan-host.exe\n");
    return 1;
  }
  if (options.mode == "demo") return RunStationDemo(driver, options.demo);
  return RunConsole(driver, options.console);
}
