#include "tests/common/station.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <utility>

SimControl LoadSimulator() {
  SimControl sim;
  if (!LoadSimControl(LoadLibraryA("QXClient.dll"), sim)) {
    std::fprintf(stderr, "QXClient.dll beside the program is not the simulator\n");
    std::exit(2);
  }
  sim.SimReset();
  return sim;
}

void AddPump(const SimControl& sim, int number) {
  SimPump pump{};
  pump.id = 100 + number, pump.number = number, pump.state = SIM_PUMP_IDLE;
  sim.SimAddPump(&pump);
}

void AddHose(const SimControl& sim, int id, int pumpNumber, double price) {
  AddHose(sim, id, pumpNumber, price, 1000 + id);
}

void AddHose(const SimControl& sim, int id, int pumpNumber, double price, double totalizer) {
  SimHose hose{};
  hose.id = id, hose.pumpId = 100 + pumpNumber, hose.totalizer = totalizer;
  hose.price = hose.price2 = price;
  sim.SimAddHose(&hose);
}

void AddPumps(const SimControl& sim, int pumps, int hosesPerPump) {
  for (int p = 1, ordinal = 1; p <= pumps; ++p) {
    AddPump(sim, p);
    for (int h = 1; h <= hosesPerPump; ++h, ++ordinal)
      AddHose(sim, 10 + ordinal, p, 5.0 + ordinal / 10.0);
  }
}

const char* const kDriverEntryPoints[22] = {
    // clang-format off
    "ClientLogonEx", "ClientLogoff", "TestConnection", "GetPumpsCount", "ProcessEvents",
    "GetEventsCount", "GetNextEventType", "GetNextPumpEventEx2", "DiscardNextEvent",
    "GetDeliveriesCount", "GetDeliveryByOrdinal", "GetDeliveryPropertiesEx2", "LockDelivery",
    "ClearDelivery", "GetHoseByOrdinal", "GetHosePropertiesEx2", "SetHosePrices", "Authorise",
    "TempStop", "ReAuthorise", "AllStop", "AllReAuthorise",
    // clang-format on
};

const DriverExport kDriverExports[26] = {
    // clang-format off
    {"AUT_AlteraConfiguracaoBomba", "TTT"}, {"AUT_SetarUltimoIdLogico", "T"},
    {"AUT_ExcluiVendedorCliente", ""}, {"AUT_InsereCliente", "TT"}, {"AUT_InsereVendedor", "T"},
    {"AUT_VerificaSuporte", "N"}, {"AUT_ObtemAssinatura", "BB"}, {"AUT_DesbloqueiaTodosBicos", ""},
    {"AUT_DesbloqueiaBico", "T"}, {"AUT_BloqueiaTodosBicos", ""}, {"AUT_BloqueiaBico", "T"},
    {"AUT_PagamentoBico", ""}, {"AUT_AutorizaAbastecimento", "T"},
    {"AUT_PresetAbastecimento", "TT"}, {"AUT_AlteraPreco", "TT"}, {"AUT_ObtemPreco", "TB"},
    {"AUT_ObtemEncerrante", "TB"}, {"AUT_ObtemStatus", "B"}, {"AUT_ObtemDisplay", ""},
    {"AUT_ConfirmaAbastecimento", ""}, {"AUT_ObtemAbastecimento", "BBBBBBBBBBD"},
    {"AUT_RegistraBico", "TTTTTTTT"}, {"AUT_FinalizaComunicacao", ""},
    {"AUT_IniciaComunicacao", "TTT"}, {"DRV_ParaGravacaoLog", ""}, {"DRV_IniciaGravacaoLog", ""},
    // clang-format on
};

const DriverExport& ExportNamed(const std::string& name) {
  for (const DriverExport& e : kDriverExports)
    if (name == e.name) return e;
  throw std::invalid_argument(name + " is not one of the driver's exports");
}

// The driver's calls take a list of fixed length: the first n of `a`.
template <size_t... I>
static uint32_t CallWith(KorvanDriver& driver, const char* name, const uintptr_t* a, size_t n,
                         std::index_sequence<I...> = {}) {
  if constexpr (sizeof...(I) < 11) {
    if (n > sizeof...(I))
      return CallWith(driver, name, a, n, std::index_sequence<I..., sizeof...(I)>());
  }
  return driver.Call(name, {a[I]...});
}

uint32_t CallExport(KorvanDriver& driver, const std::string& name, const uintptr_t* a) {
  const DriverExport& e = ExportNamed(name);
  return CallWith(driver, e.name, a, std::strlen(e.kinds));
}

std::vector<std::string> Calls(const SimControl& sim, const char* name) {
  std::vector<std::string> calls;
  const std::string prefix = name ? std::string(name) + "(" : "";
  char text[512];
  for (int i = 0, n = sim.SimCallCount(); i < n; ++i) {
    sim.SimGetCall(i, text, sizeof text);
    if (std::string(text).compare(0, prefix.size(), prefix) == 0) calls.push_back(text);
  }
  return calls;
}

// The files matching `pattern` in `folder`, oldest write first: the log's hour files are named day,
// month, hour, so their names sort wrongly across the turn of a month.
static std::vector<std::string> FilesIn(const std::string& folder, const char* pattern) {
  std::vector<std::pair<ULONGLONG, std::string>> files;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + pattern).c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const ULARGE_INTEGER written{
          {found.ftLastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwHighDateTime}};
      files.emplace_back(written.QuadPart, folder + found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
  }
  std::sort(files.begin(), files.end());
  std::vector<std::string> names;
  for (auto& file : files) names.push_back(std::move(file.second));
  return names;
}

void RemoveLogFolder(const std::string& folder) {
  for (const auto& file : FilesIn(folder + "LOG\\", "*.log")) DeleteFileA(file.c_str());
  RemoveDirectoryA((folder + "LOG").c_str());
}

void EnterFreshFolder(const std::string& name) {
  const std::string folder = ExeFolder() + "run-" + name;
  CreateDirectoryA(folder.c_str(), nullptr);
  SetCurrentDirectoryA(folder.c_str());
  RemoveLogFolder("");
}

std::string ReadLogBytes() {
  std::string bytes;
  for (const auto& file : FilesIn("LOG\\", "*.log")) bytes += ReadFile(file);
  return bytes;
}

std::vector<std::string> LogMessages() {
  std::vector<std::string> messages;
  const std::string bytes = ReadLogBytes();
  for (size_t start = 0; start < bytes.size();) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    const std::string line = bytes.substr(start, end - start);
    const size_t mark = line.find(" >");
    messages.push_back(mark == std::string::npos ? line : line.substr(mark + 2));
    start = end + 2;
  }
  return messages;
}

bool LogFolderExists() { return GetFileAttributesA("LOG") != INVALID_FILE_ATTRIBUTES; }

std::string IniPath() { return ExeFolder() + "_Korvan.ini"; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void RemoveFile(const std::string& path) { DeleteFileA(path.c_str()); }

Footprint MeasureFootprint() {
  DWORD handles = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handles);
  if (handles == 0) {
    HANDLE probe = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    handles = static_cast<DWORD>(reinterpret_cast<uintptr_t>(probe) / 4);
    CloseHandle(probe);
  }
  return {CommittedPrivateBytes(), handles};
}

std::string Join(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += "  " + line + "\n";
  return text;
}

static std::vector<std::string> messageBoxes;

static int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR, UINT) {
  messageBoxes.push_back(text ? text : "");
  return IDOK;
}

void RecordMessageBoxes(HMODULE module) {
  auto* base = reinterpret_cast<BYTE*>(module);
  const auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const DWORD imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  for (auto* d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); imports && d->Name;
       ++d) {
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
    for (; names->u1.AddressOfData; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
          std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name,
                      "MessageBoxA") != 0)
        continue;
      DWORD protection;
      VirtualProtect(slots, sizeof *slots, PAGE_READWRITE, &protection);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(&RecordMessageBox);
      VirtualProtect(slots, sizeof *slots, protection, &protection);
    }
  }
}

std::vector<std::string> TakeMessageBoxes() { return std::exchange(messageBoxes, {}); }

static LONG WINAPI FaultReachedHost(EXCEPTION_POINTERS* info) {
  std::printf("FAULT reached the host: exception %08lX at %p\n",
              info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress);
  std::fflush(stdout);
  ExitProcess(3);
}

void ExitOnFault() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(FaultReachedHost);
}

bool Check(long long cycle, bool ok, const char* what) {
  if (!ok) std::printf("cycle %lld: %s\n", cycle, what);
  return ok;
}

std::string TextOption(int argc, char** argv, const char* name) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == name) return argv[i + 1];
  return "";
}

long long Option(int argc, char** argv, const char* name, long long fallback) {
  const std::string text = TextOption(argc, argv, name);
  return text.empty() ? fallback : std::atoll(text.c_str());
}
