// The trace file, written through a mapped view of it. A line then costs a
// copy into memory instead of a write through the system (under Wine a
// round trip to its server, several microseconds).
//
// A line's bytes are copied first and its '\n' last, so whatever stops the
// process leaves whole lines and at most a last one without its '\n'. The
// file runs ahead of the lines in windows of 1 MiB filled with zeros; a
// clean end (Close) cuts it back to the lines, a killed process leaves the
// zeros, and a reader stops at the first NUL. Dirty pages of a shared view
// belong to the system, not to the process: they reach the file when it is
// killed too.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qxtrace {

class TraceFile {
 public:
  // Opens (or creates) `path` for this process alone; other processes may
  // read it. Lines go after those it already holds. False with the error in
  // GetLastError(): ERROR_SHARING_VIOLATION when another process has it
  // open for writing.
  bool Open(const std::string& path);
  bool open() const { return file_ != INVALID_HANDLE_VALUE; }

  // One line, '\n' included. Threads take turns. A line that finds no room
  // (the disk is full) is dropped, and so are those after it.
  void Append(const char* line, size_t size);

  // Unmaps the view and cuts the file after the last line. Takes no lock:
  // at process exit a thread killed on its way may hold it, and whatever
  // that thread had not finished lies beyond the last line.
  void Close();

 private:
  bool Map(size_t room);
  bool Grow(uint64_t size);
  void Unmap();

  HANDLE file_ = INVALID_HANDLE_VALUE;
  HANDLE mapping_ = nullptr;
  char* view_ = nullptr;
  uint64_t viewOffset_ = 0;  // in the file; a multiple of 64 KiB
  size_t viewSize_ = 0;
  uint64_t end_ = 0;  // the end of the last whole line
  uint64_t fileSize_ = 0;
  SRWLOCK turn_ = SRWLOCK_INIT;
};

}  // namespace qxtrace
