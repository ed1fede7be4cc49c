#include "sim/model/call_book.h"

#include <charconv>

namespace qxsim {

void CallText::Separate() {
  if (!first_) text_ += ',';
  first_ = false;
}

CallText& CallText::Int(int64_t value) {
  Separate();
  text_ += std::to_string(value);
  return *this;
}

CallText& CallText::Real(double value) {
  Separate();
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  text_.append(buffer, result.ptr);
  return *this;
}

CallText& CallText::Text(const wchar_t* text) {
  static constexpr char kHex[] = "0123456789abcdef";
  Separate();
  text_ += '"';
  for (const wchar_t* p = text; p && *p; ++p) {
    const unsigned c = static_cast<unsigned>(*p) & 0xFFFF;
    if (c == '"' || c == '\\') {
      text_ += '\\';
      text_ += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      text_ += static_cast<char>(c);
    } else {
      text_ += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) text_ += kHex[(c >> shift) & 15];
    }
  }
  text_ += '"';
  return *this;
}

std::string CallText::Finish(int32_t result) const { return text_ + ")=" + std::to_string(result); }

void CallBook::Record(const char* name, std::string text) {
  if (texts_.size() == kKeep) texts_.pop_front();
  texts_.push_back(std::move(text));
  ++counts_[name];
  ++total_;
}

void CallBook::Clear() {
  texts_.clear();
  counts_.clear();
  total_ = 0;
}

int64_t CallBook::Count(const std::string& name) const {
  if (name == "*") return total_;
  const auto found = counts_.find(name);
  return found == counts_.end() ? 0 : found->second;
}

void FaultPlan::Add(const std::string& name, int32_t nth, int32_t count, int32_t code) {
  faults_.push_back({name, nth > 0 ? nth - 1 : 0, count, code});
}

bool FaultPlan::Fire(const char* name, int32_t& code) {
  bool fired = false;
  for (auto it = faults_.begin(); it != faults_.end();) {
    if ((it->name != "*" && it->name != name) || it->skip-- > 0) {
      ++it;
      continue;
    }
    it->skip = 0;
    if (!fired) code = it->code;
    fired = true;
    if (it->failures > 0 && --it->failures == 0)
      it = faults_.erase(it);
    else
      ++it;
  }
  return fired;
}

}  // namespace qxsim
