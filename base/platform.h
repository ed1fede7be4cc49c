// The few Windows services the driver's logic needs, so that the logic reads
// without the Windows API.
#pragma once

#include <string>
#include <string_view>

#include "base/log_line.h"
#include "base/number_texts.h"

namespace korvan::platform {

LocalTime Now();
void SleepMilliseconds(unsigned milliseconds);

// Creates one folder level; true when it exists afterwards.
bool EnsureFolder(const char* path);
// Appends to the file, creating it when it does not exist yet.
bool AppendToFile(const std::string& path, std::string_view bytes);

// The regional settings of the calling thread's locale, with fallbacks.
RegionalSettings ReadRegionalSettings();

// Folder of the host program's executable, with a trailing backslash.
std::string HostFolder();

std::string ReadProfileString(const std::string& file, const char* section, const char* key,
                              const char* fallback);
bool WriteProfileString(const std::string& file, const char* section, const char* key,
                        const std::string& value);

// A modal box with one OK button.
void ShowMessage(const char* text);

// The one lock of the driver's state, re-entrant on the thread that holds
// it. Made and destroyed by the module's load and unload notifications:
// nothing static with a constructor or destructor, so that loading and
// unloading the driver leaves nothing behind.
void CreateDriverLock();
void DestroyDriverLock();

// Holds the driver's lock for its lifetime.
class DriverLockHold {
 public:
  DriverLockHold();
  ~DriverLockHold();
  DriverLockHold(const DriverLockHold&) = delete;
  DriverLockHold& operator=(const DriverLockHold&) = delete;
};

// Masks floating-point exceptions while an operation runs, then gives the
// host its control words back with nothing left pending: Delphi hosts run
// with overflow, division by zero and invalid operations unmasked, and an
// odd number from the controller must not trap in the host. Both units
// also round to nearest (SSE without flushing, x87 with 64 bits when the
// host chose 24) while the driver works, whatever the host chose. Works on the x87 and SSE control
// words directly, and only when the host's differ from that: with every exception masked no flag
// can trap, so the words are then only read.
class FloatingPointShield {
 public:
  FloatingPointShield();
  ~FloatingPointShield();
  FloatingPointShield(const FloatingPointShield&) = delete;
  FloatingPointShield& operator=(const FloatingPointShield&) = delete;

 private:
  unsigned short hostX87_;
  unsigned int hostSse_;
  bool shielding_;  // the host's words were changed
};

}  // namespace korvan::platform
