// Network benchmark: the driver's polling operations against the same bare
// client calls, both through our QXClient.dll's network mode to a
// qxsim-server on loopback; then the server's calls per second and latency
// with several clients polling at once. Prints figures; asserts nothing.
//
//   network_bench [--calls 2000] [--clients 8] [--seconds 5]
//
// It starts qxsim-server.exe from its own folder (its own child, stopped at
// the end) and writes _Korvan.ini there with the server's ports.
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "contract/qxclient_api.h"
#include "host_api/KorvanDriver.h"
#include "host_api/host_environment.h"
#include "sim/model/remote.h"

namespace {

using Clock = std::chrono::steady_clock;

long long Option(int argc, char** argv, const char* name, long long fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoll(argv[i + 1]);
  return fallback;
}

// qxsim-server.exe as a child; its ports from its first line.
struct ServerProcess {
  PROCESS_INFORMATION process{};
  unsigned call = 0, events = 0;

  bool Start(const std::string& folder) {
    std::ofstream(folder + "bench.scenario")
        << "pump 1 id 11\nhose 31 pump 1 price 5.799 totalizer 1000\n"
           "delivery hose 31 volume 10 lockedby 5\n";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return false;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string command = "\"" + folder +
                          "qxsim-server.exe\" --call-port 0 "
                          "--event-port 0 --no-panel --quiet --stop-after 600 "
                          "--scenario \"" +
                          folder + "bench.scenario\"";
    const BOOL made = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                     nullptr, &start, &process);
    CloseHandle(write);
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (made && line.size() < 200 && ReadFile(read, &c, 1, &got, nullptr) && got && c != '\n') {
      line += c;
    }
    CloseHandle(read);
    return made && std::sscanf(line.c_str(), "listening call=%u events=%u", &call, &events) == 2;
  }
  ~ServerProcess() {
    if (!process.hProcess) return;
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
};

// Microseconds per call of `timed`.
double PerCall(long long calls, const std::function<void()>& timed) {
  const auto start = Clock::now();
  for (long long i = 0; i < calls; ++i) timed();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

void Report(const char* what, double driver, double direct) {
  std::printf("%-24s driver %8.1f us  client %8.1f us  driver adds %5.1f %%\n", what, driver,
              direct, (driver / direct - 1) * 100);
}

// Driver and bare calls measured in alternating rounds, the best round of
// each kept: on a shared machine the slow rounds are other people's work.
void Compare(const char* what, long long calls, const std::function<void()>& driver,
             const std::function<void()>& direct) {
  double best[2] = {1e30, 1e30};
  for (int round = 0; round < 5; ++round) {
    best[0] = std::min(best[0], PerCall(calls / 5, driver));
    best[1] = std::min(best[1], PerCall(calls / 5, direct));
  }
  Report(what, best[0], best[1]);
}

template <class F>
F Bind(const char* name) {
  return reinterpret_cast<F>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("QXClient.dll"), name)));
}

void DirectDelivery() {
  static auto test = Bind<decltype(&qx::TestConnection)>("TestConnection");
  static auto count = Bind<decltype(&qx::GetDeliveriesCount)>("GetDeliveriesCount");
  static auto first = Bind<decltype(&qx::GetDeliveryByOrdinal)>("GetDeliveryByOrdinal");
  static auto props = Bind<decltype(&qx::GetDeliveryPropertiesEx2)>("GetDeliveryPropertiesEx2");
  int32_t n = 0, id = 0, i32[8];
  int16_t i16[3];
  double f[16];
  int64_t code = 0;
  test();
  count(&n);
  first(1, &id);
  props(id, &i32[0], &i16[0], &i16[1], &f[0], &i16[2], &f[1], &f[2], &f[3], &f[4], &i32[1], &i32[2],
        &i32[3], &i32[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11], &code, &i32[5]);
}

void DirectPrice() {
  static auto hose = Bind<decltype(&qx::GetHosePropertiesEx2)>("GetHosePropertiesEx2");
  int32_t i32[4];
  double f[6];
  int16_t level, flags;
  hose(31, &i32[0], &i32[1], &i32[2], &i32[3], &f[0], &f[1], &f[2], &f[3], &level, &f[4], &f[5],
       &flags);
}

// Several clients polling at once, each on its own connection.
void Load(const ServerProcess& server, int clients, int seconds) {
  std::vector<std::vector<double>> latencies(clients);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&, c] {
      qxsim::RemoteStation client;
      qxsim::LogonArgs args;
      args.clientId = 100 + c;
      args.server = "127.0.0.1";
      args.callPort = static_cast<uint16_t>(server.call);
      args.eventPort = static_cast<uint16_t>(server.events);
      args.timeout = 5000;
      if (client.Logon(args) != SIM_OK) return;
      while (!go) std::this_thread::yield();
      int32_t n = 0;
      while (Clock::now() < end) {
        const auto start = Clock::now();
        client.DeliveriesCount(n);
        latencies[c].push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      }
    });
  }
  go = true;
  for (std::thread& t : threads) t.join();
  std::vector<double> all;
  for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  if (all.empty()) {
    std::printf("no client could log on\n");
    return;
  }
  std::sort(all.begin(), all.end());
  std::printf("%d clients polling %d s: %.0f calls/s, p50 %.1f us, p99 %.1f us\n", clients, seconds,
              all.size() / static_cast<double>(seconds), all[all.size() / 2],
              all[all.size() * 99 / 100]);
}

}  // namespace

int main(int argc, char** argv) {
  const long long calls = Option(argc, argv, "--calls", 2000);
  const int clients = static_cast<int>(Option(argc, argv, "--clients", 8));
  const int seconds = static_cast<int>(Option(argc, argv, "--seconds", 5));
  const std::string folder = ExeFolder();
  ServerProcess server;
  if (!server.Start(folder)) {
    std::printf("cannot start %sqxsim-server.exe\n", folder.c_str());
    return 2;
  }
  const std::string ini = folder + "_Korvan.ini";
  std::ofstream(ini) << "[Korvan]\r\nNumberPortIp=" << server.call
                     << "\r\nNumberEventPort=" << server.events << "\r\n";
  KorvanDriver driver;
  const bool on = driver.IniciaComunicacao("127.0.0.1", "BENCH", "");
  DeleteFileA(ini.c_str());
  if (!on) {
    std::printf("the driver could not log on to the server\n");
    return 2;
  }
  driver.RegistraBico("31", "1", "", "3", "3", "2", "3", "");
  std::printf("%s build, %lld calls each over loopback, logging off\n",
              sizeof(void*) == 4 ? "32-bit" : "64-bit", calls);
  KorvanDriver::Delivery d;
  char text[64];
  Compare(
      "AUT_ObtemAbastecimento", calls, [&] { driver.ObtemAbastecimento(d); }, DirectDelivery);
  Compare(
      "AUT_ObtemPreco", calls, [&] { driver.ObtemPreco("31", text); }, DirectPrice);
  driver.FinalizaComunicacao();
  Load(server, clients, seconds);
  return 0;
}
