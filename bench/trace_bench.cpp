// Benchmark: what the tracing QXClient.dll adds to a client call. The same
// calls are made straight on the simulator (the real library) and through
// the tracer in front of it, in alternating batches after a warm-up round;
// the median of the rounds is printed, per call. Run in bin/trace, where
// the tracer is QXClient.dll and the simulator QXClient.real.dll. Prints
// figures; asserts nothing about speed.
//
//   trace_bench [--rounds 15] [--calls 20000]
#include <windows.h>
#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "contract/qxclient_api.h"
#include "contract/sim_control.h"

namespace {

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "trace_bench: %s\n", what.c_str());
  std::exit(2);
}

std::string Folder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string file(path, n);
  return file.substr(0, file.find_last_of("\\/") + 1);
}

struct Client {
  decltype(&qx::ClientLogonEx) ClientLogonEx;
  decltype(&qx::TestConnection) TestConnection;
  decltype(&qx::GetDeliveryPropertiesEx2) GetDeliveryPropertiesEx2;
  decltype(&qx::GetHosePropertiesEx2) GetHosePropertiesEx2;
  QXResult(QX_CALL* GetPumpStatus)();  // one the tracer forwards blind
};

template <class Fn>
void Bind(HMODULE module, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (fn == nullptr) Fail(std::string("no ") + name);
}

Client BindClient(HMODULE module) {
  Client c{};
  Bind(module, "ClientLogonEx", c.ClientLogonEx);
  Bind(module, "TestConnection", c.TestConnection);
  Bind(module, "GetDeliveryPropertiesEx2", c.GetDeliveryPropertiesEx2);
  Bind(module, "GetHosePropertiesEx2", c.GetHosePropertiesEx2);
  Bind(module, "GetPumpStatus", c.GetPumpStatus);
  return c;
}

double Seconds() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// One operation, `calls` times.
using Batch = void (*)(const Client&, int calls);

void Connection(const Client& c, int calls) {
  for (int i = 0; i < calls; ++i) c.TestConnection();
}

void Delivery(const Client& c, int calls) {
  int32_t l[6];
  int16_t h[3];
  double d[12];
  int64_t code;
  for (int i = 0; i < calls; ++i) {
    c.GetDeliveryPropertiesEx2(1001, &l[0], &h[0], &h[1], &d[0], &h[2], &d[1], &d[2], &d[3], &d[4],
                               &l[1], &l[2], &l[3], &l[4], &d[5], &d[6], &d[7], &d[8], &d[9],
                               &d[10], &d[11], &code, &l[5]);
  }
}

void Hose(const Client& c, int calls) {
  int32_t l[4];
  int16_t h[2];
  double d[7];
  for (int i = 0; i < calls; ++i) {
    c.GetHosePropertiesEx2(31, &l[0], &l[1], &l[2], &l[3], &d[0], &d[1], &d[2], &d[3], &h[0], &d[4],
                           &d[5], &h[1]);
  }
}

void Blind(const Client& c, int calls) {
  for (int i = 0; i < calls; ++i) c.GetPumpStatus();
}

// One trace line appended with one WriteFile: what a line would cost if
// the tracer wrote it through the system instead of into a mapped view.
const char kLine[] =
    "{\"t\":62587,\"th\":940,\"op\":\"TestConnection\",\"in\":[],\"r\":0,\"us\":13}\n";

double AppendOneLine(const std::string& path, int calls) {
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail("cannot write " + path);
  const double start = Seconds();
  DWORD written = 0;
  for (int i = 0; i < calls; ++i) WriteFile(file, kLine, sizeof kLine - 1, &written, nullptr);
  const double each = (Seconds() - start) / calls;
  CloseHandle(file);
  DeleteFileA(path.c_str());
  return each;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

long long Option(int argc, char** argv, const char* name, long long fallback) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], name) == 0) return std::atoll(argv[i + 1]);
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = static_cast<int>(Option(argc, argv, "--rounds", 15));
  const int calls = static_cast<int>(Option(argc, argv, "--calls", 20000));
  const std::string trace = Folder() + "trace_bench.jsonl";
  DeleteFileA(trace.c_str());
  SetEnvironmentVariableA("QXTRACE_FILE", trace.c_str());
  HMODULE tracerModule = LoadLibraryA((Folder() + "QXClient.dll").c_str());
  HMODULE realModule = LoadLibraryA((Folder() + "QXClient.real.dll").c_str());
  SimControl sim;
  if (!tracerModule || !LoadSimControl(realModule, sim))
    Fail("needs the tracer as QXClient.dll and the simulator as QXClient.real.dll beside it");
  sim.SimReset();
  sim.SimSetRecording(0);
  SimPump pump{};
  pump.id = 11;
  pump.number = 1;
  pump.state = SIM_PUMP_IDLE;
  sim.SimAddPump(&pump);
  SimHose hose{};
  hose.id = 31;
  hose.pumpId = 11;
  hose.price = hose.price2 = 5.799;
  hose.totalizer = 123456.789;
  sim.SimAddHose(&hose);
  SimDelivery delivery = SimDeliveryDefaults(31, 25.3);
  delivery.id = 1001;
  sim.SimAddDelivery(&delivery);

  const Client direct = BindClient(realModule), traced = BindClient(tracerModule);
  BSTR address = SysAllocString(L"127.0.0.1");
  traced.ClientLogonEx(97, 7, address, 5123, 5124, 10000, 0, 0, 0);
  SysFreeString(address);

  const struct {
    const char* name;
    Batch batch;
  } operations[] = {{"TestConnection (no arguments)", Connection},
                    {"GetHosePropertiesEx2 (12 outputs)", Hose},
                    {"GetDeliveryPropertiesEx2 (22 outputs)", Delivery},
                    {"GetPumpStatus (forwarded blind)", Blind}};
  std::printf("trace_bench: %d-bit, %d rounds of %d calls, median per call\n",
              static_cast<int>(sizeof(void*) * 8), rounds, calls);
  std::printf("  %-40s %10s %10s %10s\n", "operation", "direct", "traced", "added");
  for (const auto& op : operations) {
    std::vector<double> bare, through;
    for (int round = 0; round <= rounds; ++round) {
      double start = Seconds();
      op.batch(direct, calls);
      const double b = (Seconds() - start) / calls;
      start = Seconds();
      op.batch(traced, calls);
      const double t = (Seconds() - start) / calls;
      if (round == 0) continue;  // the warm-up
      bare.push_back(b);
      through.push_back(t);
    }
    std::printf("  %-40s %8.2f us %8.2f us %8.2f us\n", op.name, Median(bare) * 1e6,
                Median(through) * 1e6, (Median(through) - Median(bare)) * 1e6);
  }
  // Unloaded, the tracer cuts its file after the last line.
  FreeLibrary(tracerModule);
  HANDLE file = CreateFileA(trace.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  CloseHandle(file);
  const long long lines = 1 + 4LL * (rounds + 1) * calls;
  std::printf("  trace: %lld bytes for %lld calls, %.0f bytes a call\n",
              static_cast<long long>(size.QuadPart), lines,
              static_cast<double>(size.QuadPart) / static_cast<double>(lines));
  DeleteFileA(trace.c_str());
  std::vector<double> appends;
  for (int round = 0; round < rounds; ++round)
    appends.push_back(AppendOneLine(Folder() + "trace_bench.append", calls));
  std::printf("  one %d-byte line appended with WriteFile instead: %8.2f us\n",
              static_cast<int>(sizeof kLine - 1), Median(appends) * 1e6);
  return 0;
}
