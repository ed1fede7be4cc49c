// What the driver tests share: a fresh working folder per test program, the
// driver's log and configuration file as a host would find them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "host/host_environment.h"  // ExeFolder: where the driver keeps _Korvan.ini

// Moves the process into an empty folder of its own, so that the driver's
// LOG folder starts empty.
void EnterFreshFolder(const std::string& name);
// Removes `folder`LOG\ and its log files ("" for the current directory).
void RemoveLogFolder(const std::string& folder);

// Every log file under LOG\ in name order, as raw bytes.
std::string ReadLogBytes();
// The messages of the log lines (what follows " >"), without the line ends.
std::vector<std::string> LogMessages();
bool LogFolderExists();

std::string IniPath();
// The whole file, or "" when it does not exist.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void RemoveFile(const std::string& path);

// What the process holds: private (committed) bytes, and handles. Where the
// handle count is not reported (Wine says 0), `handles` is the value of a
// fresh handle instead, which leaked handles push up.
struct Footprint {
  size_t privateBytes;
  unsigned long handles;
};
Footprint MeasureFootprint();

// True when `lines` contains `expected` as a contiguous run.
bool ContainsRun(const std::vector<std::string>& lines,
                 const std::vector<std::string>& expected);
std::string Join(const std::vector<std::string>& lines);
