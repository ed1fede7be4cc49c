// The one station builder of the tests: the simulated controller beside the program, a small
// forecourt, its record of calls, and the driver's files (log and _Korvan.ini) as a host finds
// them. Used by the driver's tests, the simulator's and the proofs.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "host_api/KorvanDriver.h"
#include "host_api/host_environment.h"  // ExeFolder, DecimalSeparator, CommittedPrivateBytes
#include "contract/sim_control.h"

// QXClient.dll beside the program, reset; exits when it is not the simulator.
SimControl LoadSimulator();

// Pump `number` has id 100 + number and is idle; a hose's totalizer is 1000 + its id unless given.
void AddPump(const SimControl& sim, int number);
void AddHose(const SimControl& sim, int id, int pumpNumber, double price);
void AddHose(const SimControl& sim, int id, int pumpNumber, double price, double totalizer);
// Pumps 1..n with `hosesPerPump` hoses each, whose identifiers differ from
// their ordinals: ordinal k is hose 10 + k, price 5 + k / 10.
void AddPumps(const SimControl& sim, int pumps, int hosesPerPump = 2);

// The entry points of the client library that the driver calls.
extern const char* const kDriverEntryPoints[22];
// The driver's exports in ordinal order, each with its arguments: T a text, B an output buffer,
// N any number, D the date.
struct DriverExport {
  const char *name, *kinds;
};
extern const DriverExport kDriverExports[26];
const DriverExport& ExportNamed(const std::string& name);
// Calls the export `name` with as many of `a` as it takes.
uint32_t CallExport(KorvanDriver& driver, const std::string& name, const uintptr_t* a);

// The record of client calls, one text per call, all or those of one name.
std::vector<std::string> Calls(const SimControl& sim, const char* name = nullptr);

// An entry point of the loaded simulator, typed by the binding's declaration.
#define SIM_ENTRY(name)                  \
  reinterpret_cast<decltype(&qx::name)>( \
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("QXClient.dll"), #name)))

// Moves the process into an empty folder of its own (no LOG folder).
void EnterFreshFolder(const std::string& name);
void RemoveLogFolder(const std::string& folder);  // "" = current directory
// The messages of the log lines (what follows " >"), oldest first.
std::vector<std::string> LogMessages();
std::string ReadLogBytes();  // every LOG\*.log in name order
bool LogFolderExists();

std::string IniPath();                          // _Korvan.ini beside the program
std::string ReadFile(const std::string& path);  // "" when missing
void WriteFile(const std::string& path, const std::string& bytes);
void RemoveFile(const std::string& path);

// Committed private bytes (see CommittedPrivateBytes) and handles of the process. Where Wine does
// not count handles, the value of a fresh handle, which leaks push up.
struct Footprint {
  size_t committedPrivateBytes;
  unsigned long handles;
};
Footprint MeasureFootprint();

std::string Join(const std::vector<std::string>& lines);

// Points the module's import of MessageBoxA at a recorder, so that a test sees the boxes the driver
// shows; TakeMessageBoxes gives their texts so far, oldest first, and forgets them.
void RecordMessageBoxes(HMODULE module);
std::vector<std::string> TakeMessageBoxes();

// For programs that run unattended: no dialog on a fault, and a fault that
// reaches the program is printed and ends it with status 3.
void ExitOnFault();

// For the proofs' cycles: `ok`, or a line that says what went wrong in which cycle.
bool Check(long long cycle, bool ok, const char* what);

// "--name value" from a command line, or the fallback ("" for a text).
long long Option(int argc, char** argv, const char* name, long long fallback);
std::string TextOption(int argc, char** argv, const char* name);
