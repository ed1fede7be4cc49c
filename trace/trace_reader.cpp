#include "trace/trace_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace qxtrace {
namespace {

// Objects hold lists of values: nothing deeper belongs in a trace.
constexpr int kMaxDepth = 3;

bool Blank(const char* begin, const char* end) {
  for (const char* p = begin; p < end; ++p) {
    if (*p != ' ' && *p != '\t' && *p != '\r') return false;
  }
  return true;
}

// The deepest nesting of brackets outside strings, counted without
// recursion, before the parser sees the line.
int Depth(const char* begin, const char* end) {
  int depth = 0, deepest = 0;
  bool text = false;
  for (const char* p = begin; p < end; ++p) {
    if (text) {
      if (*p == '\\')
        ++p;
      else if (*p == '"')
        text = false;
    } else if (*p == '"') {
      text = true;
    } else if (*p == '{' || *p == '[') {
      deepest = std::max(deepest, ++depth);
    } else if (*p == '}' || *p == ']') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

bool TraceReader::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "rb");
  buffer_.assign(kMaxLine + 64 * 1024, '\0');
  return file_ != nullptr;
}

void TraceReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  begin_ = end_ = 0;
  eof_ = false;
  lineNumber_ = 0;
}

TraceReader::Read TraceReader::Next(Json& line, std::string& problem) {
  bool skipping = false;  // the rest of a line that is too long
  while (file_) {
    char* data = buffer_.data();
    char* newline = static_cast<char*>(std::memchr(data + begin_, '\n', end_ - begin_));
    if (newline == nullptr) {
      if (eof_) return Read::End;      // nothing, or a torn last line
      if (end_ - begin_ > kMaxLine) {  // too long: drop it to its newline
        skipping = true;
        begin_ = end_ = 0;
      }
      std::memmove(data, data + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
      const size_t got = std::fread(data + end_, 1, buffer_.size() - end_, file_);
      // A trace being written, or left by a killed host, runs on in zeros
      // after its last line: its end is the first NUL (a line holds none).
      if (const void* nul = std::memchr(data + end_, '\0', got)) {
        end_ = static_cast<size_t>(static_cast<const char*>(nul) - data);
        eof_ = true;
      } else {
        end_ += got;
        eof_ = got == 0;
      }
      continue;
    }
    const char* start = data + begin_;
    begin_ = static_cast<size_t>(newline - data) + 1;
    ++lineNumber_;
    if (skipping) {
      problem = "longer than " + std::to_string(kMaxLine) + " bytes";
      return Read::Bad;
    }
    if (Blank(start, newline)) continue;
    if (Depth(start, newline) > kMaxDepth) {
      problem = "nested deeper than a trace line";
      return Read::Bad;
    }
    line = Json::parse(start, static_cast<const char*>(newline), nullptr, false);
    if (!line.is_object()) {
      problem = "not a JSON object";
      return Read::Bad;
    }
    return Read::Object;
  }
  return Read::End;
}

bool ReadDouble(const Json& value, double& out) {
  if (value.is_number()) {
    out = value.get<double>();
    return true;
  }
  if (!value.is_string()) return false;
  const std::string& text = value.get_ref<const std::string&>();
  if (text == "NaN")
    out = std::numeric_limits<double>::quiet_NaN();
  else if (text == "Infinity")
    out = std::numeric_limits<double>::infinity();
  else if (text == "-Infinity")
    out = -std::numeric_limits<double>::infinity();
  else
    return false;
  return true;
}

bool ReadInteger(const Json& value, int64_t low, int64_t high, int64_t& out) {
  if (value.is_number_unsigned()) {
    const uint64_t v = value.get<uint64_t>();
    if (high < 0 || v > static_cast<uint64_t>(high) || (low > 0 && v < static_cast<uint64_t>(low)))
      return false;
    out = static_cast<int64_t>(v);
    return true;
  }
  if (!value.is_number_integer()) return false;
  const int64_t v = value.get<int64_t>();
  if (v < low || v > high) return false;
  out = v;
  return true;
}

bool ReadCall(const Json& line, Call& call, std::string& problem) {
  const auto op = line.find("op");
  if (op == line.end() || !op->is_string() || op->get_ref<const std::string&>().empty() ||
      op->get_ref<const std::string&>().size() > 64) {
    problem = "no operation";
    return false;
  }
  call.op = op->get<std::string>();
  const auto in = line.find("in");
  const auto out = line.find("out");
  const auto result = line.find("r");
  if ((in != line.end() && !in->is_array()) || (out != line.end() && !out->is_array())) {
    problem = "inputs or outputs that are not lists";
    return false;
  }
  static const Json kNone = Json::array();
  call.in = in != line.end() ? &*in : &kNone;
  call.out = out != line.end() ? &*out : nullptr;
  int64_t r = 0, t = 0, us = 0;
  if (result == line.end() || !ReadInteger(*result, INT32_MIN, INT32_MAX, r)) {
    problem = "no 32-bit result";
    return false;
  }
  const auto readTime = [&](const char* key, int64_t& value) {
    const auto found = line.find(key);
    return found == line.end() ||
           ReadInteger(*found, 0, std::numeric_limits<int64_t>::max(), value);
  };
  if (!readTime("t", t) || !readTime("us", us)) {
    problem = "times that are not whole microseconds";
    return false;
  }
  call.result = static_cast<int32_t>(r);
  call.micros = t;
  call.duration = us;
  return true;
}

}  // namespace qxtrace
