// korvan-host: loads _Korvan.dll as a point-of-sale program does and works a
// station through it.
//
//   korvan-host demo [--seconds N] [--deliveries N] [--scenario FILE]
//   korvan-host console [--client FOLDER]
//
// --client loads FOLDER\QXClient.dll (the real client library) before the
// driver looks for one, so the driver binds that library and not the
// simulator beside this program.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/KorvanDriver.h"
#include "host/console.h"
#include "host/host_environment.h"
#include "host/station_demo.h"

namespace {

int Usage() {
  std::printf(
      "usage: korvan-host demo [--seconds N] [--deliveries N] [--scenario FILE]\n"
      "       korvan-host console [--client FOLDER]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  std::string mode = argv[1];
  DemoOptions demo;
  demo.scenario = ExeFolder() + "scenarios\\station.scenario";
  std::string clientFolder;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string option = argv[i], value = argv[i + 1];
    if (option == "--seconds") demo.seconds = std::atoi(value.c_str());
    else if (option == "--deliveries") demo.deliveries = std::atoi(value.c_str());
    else if (option == "--scenario") demo.scenario = value;
    else if (option == "--client") clientFolder = value;
    else return Usage();
  }
  if (!clientFolder.empty()) {
    std::string path = clientFolder + "\\QXClient.dll";
    if (!LoadLibraryA(path.c_str())) {
      std::printf("cannot load %s\n", path.c_str());
      return 1;
    }
  }
  KorvanDriver driver;
  if (!driver.loaded()) {
    std::printf("cannot load _Korvan.dll\n");
    return 1;
  }
  if (mode == "demo") return RunStationDemo(driver, demo);
  if (mode == "console") return RunConsole(driver);
  return Usage();
}
