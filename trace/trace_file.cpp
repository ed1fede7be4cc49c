#include "trace/trace_file.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace qxtrace {
namespace {

// Views begin at multiples of Windows' allocation granularity.
constexpr uint64_t kGranularity = 64 * 1024;
constexpr uint64_t kWindow = 1024 * 1024;

DWORD High(uint64_t value) { return static_cast<DWORD>(value >> 32); }
DWORD Low(uint64_t value) { return static_cast<DWORD>(value); }

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at{};
  at.Offset = Low(offset);
  at.OffsetHigh = High(offset);
  return at;
}

bool ReadAt(HANDLE file, uint64_t offset, char* into, DWORD size) {
  OVERLAPPED at = At(offset);
  DWORD got = 0;
  return ReadFile(file, into, size, &got, &at) && got == size;
}

// The end of what an earlier trace left in the file: after its last byte
// that is not a NUL (a killed tracer leaves zeros after its lines). Sets
// `torn` when that byte is not a '\n'.
bool DataEnd(HANDLE file, uint64_t size, uint64_t& end, bool& torn) {
  end = size;
  torn = false;
  static char chunk[kGranularity];  // Open runs once, before any Append
  while (end > 0) {
    const DWORD n = static_cast<DWORD>(std::min<uint64_t>(end, sizeof chunk));
    if (!ReadAt(file, end - n, chunk, n)) return false;
    const char* last = chunk + n;
    while (last > chunk && last[-1] == '\0') --last;
    if (last > chunk) {
      end -= static_cast<uint64_t>(chunk + n - last);
      torn = last[-1] != '\n';
      return true;
    }
    end -= n;
  }
  return true;
}

}  // namespace

bool TraceFile::Open(const std::string& path) {
  // No FILE_SHARE_WRITE: a second tracer that names the same file is told
  // so, instead of writing over this one's lines.
  file_ =
      CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool torn = false;
  bool ready = GetFileSizeEx(file_, &size);
  if (ready) {
    fileSize_ = static_cast<uint64_t>(size.QuadPart);
    ready = DataEnd(file_, fileSize_, end_, torn) && Map(1);
  }
  if (!ready) {
    const DWORD error = GetLastError();
    CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    SetLastError(error);
    return false;
  }
  // A line that a killed host left torn ends here, as a line a reader
  // rejects, and not with this trace's first line glued to it.
  if (torn) Append("\n", 1);
  return true;
}

void TraceFile::Append(const char* line, size_t size) {
  AcquireSRWLockExclusive(&turn_);
  if (view_ != nullptr && end_ + size > viewOffset_ + viewSize_ && !Map(size)) {
    OutputDebugStringA(
        "QXClient tracer: the trace file cannot grow (is the disk full?); "
        "the calls go on untraced\n");
  }
  if (view_ != nullptr) {
    char* at = view_ + (end_ - viewOffset_);
    std::memcpy(at, line, size - 1);
    // The '\n' only after the rest: a line stopped half-way has none.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    at[size - 1] = line[size - 1];
    end_ += size;
  }
  ReleaseSRWLockExclusive(&turn_);
}

// A view from the 64 KiB boundary at or before the end of the lines, with
// `room` bytes at least after it; the file grows to the view's end.
bool TraceFile::Map(size_t room) {
  Unmap();
  const uint64_t offset = end_ / kGranularity * kGranularity;
  const uint64_t wanted = end_ - offset + room;
  const uint64_t size =
      std::max(kWindow, (wanted + kGranularity - 1) / kGranularity * kGranularity);
  if (!Grow(offset + size)) return false;
  mapping_ = CreateFileMappingA(file_, nullptr, PAGE_READWRITE, High(offset + size),
                                Low(offset + size), nullptr);
  if (mapping_ == nullptr) return false;
  view_ = static_cast<char*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, High(offset), Low(offset),
                                           static_cast<size_t>(size)));
  if (view_ == nullptr) {
    Unmap();
    return false;
  }
  viewOffset_ = offset;
  viewSize_ = static_cast<size_t>(size);
  return true;
}

// The file grows by writing zeros, not by mapping past its end: that would
// leave a hole in the file on some systems (Wine's), and a full disk would
// then show as a fault at a write to the view, in the host, instead of as
// an error here.
bool TraceFile::Grow(uint64_t size) {
  static const char zeros[kGranularity] = {};
  while (fileSize_ < size) {
    const DWORD n = static_cast<DWORD>(std::min<uint64_t>(size - fileSize_, sizeof zeros));
    OVERLAPPED at = At(fileSize_);
    DWORD written = 0;
    if (!WriteFile(file_, zeros, n, &written, &at) || written != n) return false;
    fileSize_ += n;
  }
  return true;
}

void TraceFile::Unmap() {
  if (view_ != nullptr) UnmapViewOfFile(view_);
  if (mapping_ != nullptr) CloseHandle(mapping_);
  view_ = nullptr;
  mapping_ = nullptr;
}

void TraceFile::Close() {
  if (!open()) return;
  Unmap();
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(end_);
  if (SetFilePointerEx(file_, end, nullptr, FILE_BEGIN)) SetEndOfFile(file_);
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
}

}  // namespace qxtrace
