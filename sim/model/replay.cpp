#include "sim/model/replay.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace qxsim {
namespace {

bool SameDouble(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

bool SameValue(const Json& recorded, const Json& actual) {
  if (recorded.is_number() && actual.is_number()) {
    if (recorded.is_number_float() || actual.is_number_float())
      return SameDouble(recorded.get<double>(), actual.get<double>());
    if (recorded.is_number_unsigned() || actual.is_number_unsigned())
      return recorded.get<uint64_t>() == actual.get<uint64_t>() && recorded.get<int64_t>() >= 0 &&
             actual.get<int64_t>() >= 0;
    return recorded.get<int64_t>() == actual.get<int64_t>();
  }
  double value = 0;
  if (actual.is_number_float() && recorded.is_string())
    return qxtrace::ReadDouble(recorded, value) && SameDouble(value, actual.get<double>());
  return recorded == actual;
}

void Describe(std::string& text, const Json& value) {
  if (value.is_number_float()) {
    char buffer[32];
    text.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value.get<double>()).ptr);
  } else if (value.is_string()) {
    static constexpr char kHex[] = "0123456789abcdef";
    text += '"';
    for (const char c : value.get_ref<const std::string&>()) {
      const auto u = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        text += '\\';
        text += c;
      } else if (u < 0x20) {
        text += "\\u00";
        text += kHex[u >> 4];
        text += kHex[u & 15];
      } else {
        text += c;
      }
    }
    text += '"';
  } else {
    text += value.dump();  // integers, null
  }
}

}  // namespace

std::string DescribeCall(const std::string& op, const Json& inputs) {
  std::string text = op + "(";
  bool first = true;
  for (const Json& value : inputs) {
    if (!first) text += ',';
    first = false;
    Describe(text, value);
  }
  return text + ")";
}

bool SameInputs(const Json& recorded, const Json& actual) {
  if (!recorded.is_array() || !actual.is_array() || recorded.size() != actual.size()) return false;
  for (size_t i = 0; i < recorded.size(); ++i) {
    if (!SameValue(recorded[i], actual[i])) return false;
  }
  return true;
}

bool TraceReplay::Start(const std::string& path) {
  Stop();
  on_ = true;
  path_ = path;
  if (reader_.Open(path)) return true;
  Diverge("a trace that can be read", "nothing", "cannot read the trace " + path);
  return false;
}

void TraceReplay::Stop() {
  reader_.Close();
  on_ = diverged_ = false;
  calls_ = answered_ = 0;
  divergence_ = Divergence();
  path_.clear();
}

void TraceReplay::Diverge(std::string expected, std::string actual, const std::string& detail) {
  if (diverged_) return;
  diverged_ = true;
  divergence_.line = reader_.lineNumber();
  divergence_.call = calls_;
  divergence_.expected = std::move(expected);
  divergence_.actual = std::move(actual);
  if (calls_ == 0) {  // nothing read: the detail says it all
    divergence_.text = detail;
  } else {
    divergence_.text = "trace line " + std::to_string(divergence_.line) + " (call " +
                       std::to_string(calls_) + "): expected " + divergence_.expected + ", got " +
                       divergence_.actual;
    if (!detail.empty()) divergence_.text += " (" + detail + ")";
  }
  if (report_) report_("replay of " + path_ + " diverged: " + divergence_.text);
}

const qxtrace::Call* TraceReplay::Answer(const std::string& op, const Json& inputs) {
  if (!on_ || diverged_) return nullptr;
  for (;;) {
    std::string problem;
    switch (reader_.Next(line_, problem)) {
      case qxtrace::TraceReader::Read::End:
        ++calls_;
        Diverge("the end of the trace", DescribeCall(op, inputs));
        return nullptr;
      case qxtrace::TraceReader::Read::Bad:
        ++calls_;
        Diverge("a call (the line is " + problem + ")", DescribeCall(op, inputs));
        return nullptr;
      case qxtrace::TraceReader::Read::Object:
        break;
    }
    if (!line_.contains("op")) continue;  // the header, the tracer's notes
    ++calls_;
    if (!qxtrace::ReadCall(line_, call_, problem)) {
      Diverge("a call (the line has " + problem + ")", DescribeCall(op, inputs));
      return nullptr;
    }
    if (call_.op != op || !SameInputs(*call_.in, inputs)) {
      Diverge(DescribeCall(call_.op, *call_.in), DescribeCall(op, inputs));
      return nullptr;
    }
    ++answered_;
    return &call_;
  }
}

void TraceReplay::Misfit(const std::string& op, const Json& inputs, const std::string& why) {
  --answered_;
  Diverge(DescribeCall(call_.op, *call_.in) + " with outputs that fit", DescribeCall(op, inputs),
          why);
}

}  // namespace qxsim
