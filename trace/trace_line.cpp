#include "trace/trace_line.h"

#include <charconv>
#include <cmath>

namespace qxtrace {

bool Line::Reserve(size_t more) {
  if (size_ + more <= capacity_) return true;
  size_t capacity = capacity_ * 2;
  while (capacity < size_ + more) capacity *= 2;
  char* grown =
      static_cast<char*>(data_ == small_ ? std::malloc(capacity) : std::realloc(data_, capacity));
  if (grown == nullptr) {
    whole_ = false;
    return false;
  }
  if (data_ == small_) std::memcpy(grown, small_, size_);
  data_ = grown;
  capacity_ = capacity;
  return true;
}

void Line::Append(const char* text, size_t length) {
  if (!Reserve(length)) return;
  std::memcpy(data_ + size_, text, length);
  size_ += length;
}

void Line::Item() {
  if (!first_) Char(',');
  first_ = false;
}

void Line::Open() {
  Char('{');
  member_ = true;
}

void Line::Key(const char* key) {
  if (!member_) Char(',');
  member_ = false;
  Char('"');
  Raw(key);
  Raw("\":");
  first_ = true;
}

void Line::OpenList(const char* key) {
  Key(key);
  Char('[');
}

void Line::Begin(int64_t micros, uint32_t thread, const char* op) {
  Open();
  Key("t");
  Int(micros);
  Key("th");
  Int(thread);
  Key("op");
  String(op);
}

void Line::End(int32_t result, int64_t micros) {
  Key("r");
  Int(result);
  Key("us");
  Int(micros);
  Close();
}

void Line::Int(int64_t value) {
  Item();
  char buffer[24];
  const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
  Append(buffer, static_cast<size_t>(end - buffer));
}

void Line::Real(double value) {
  Item();
  if (std::isnan(value)) return Raw("\"NaN\"");
  if (std::isinf(value)) return Raw(value > 0 ? "\"Infinity\"" : "\"-Infinity\"");
  char buffer[40];
  char* end = std::to_chars(buffer, buffer + sizeof buffer - 2, value).ptr;
  // "5" would read back as an integer: a double keeps a fraction.
  if (std::memchr(buffer, '.', end - buffer) == nullptr &&
      std::memchr(buffer, 'e', end - buffer) == nullptr) {
    *end++ = '.';
    *end++ = '0';
  }
  Append(buffer, static_cast<size_t>(end - buffer));
}

void Line::Null() {
  Item();
  Raw("null");
}

void Line::Utf8(uint32_t code) {
  char bytes[4];
  size_t n = 0;
  if (code < 0x80) {
    bytes[n++] = static_cast<char>(code);
  } else if (code < 0x800) {
    bytes[n++] = static_cast<char>(0xC0 | (code >> 6));
    bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    bytes[n++] = static_cast<char>(0xE0 | (code >> 12));
    bytes[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    bytes[n++] = static_cast<char>(0xF0 | (code >> 18));
    bytes[n++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[n++] = static_cast<char>(0x80 | (code & 0x3F));
  }
  Append(bytes, n);
}

bool Line::Escaped(uint32_t c) {
  static constexpr char kHex[] = "0123456789abcdef";
  if (c == '"' || c == '\\') {
    const char escaped[2] = {'\\', static_cast<char>(c)};
    Append(escaped, 2);
  } else if (c < 0x20) {
    const char escaped[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
    Append(escaped, 6);
  } else {
    return false;
  }
  return true;
}

void Line::Text(const wchar_t* text, size_t length) {
  if (text == nullptr) return Null();
  Item();
  Char('"');
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = static_cast<uint16_t>(text[i]);
    if (Escaped(c)) continue;
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < length &&
        static_cast<uint16_t>(text[i + 1]) >= 0xDC00 &&
        static_cast<uint16_t>(text[i + 1]) < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint16_t>(text[++i]) - 0xDC00);
      Utf8(c);
    } else if (c >= 0xD800 && c < 0xE000) {
      Utf8(0xFFFD);  // half a pair: no UTF-8 for it
    } else {
      Utf8(c);
    }
  }
  Char('"');
}

void Line::String(const char* text) {
  Item();
  Char('"');
  for (const char* p = text; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (!Escaped(c)) Char(static_cast<char>(c));
  }
  Char('"');
}

}  // namespace qxtrace
