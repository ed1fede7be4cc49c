// One line of a call trace (JSON Lines), composed in place and handed to the
// file in one write. Numbers and texts are written so that they read back
// exactly: integers in decimal, doubles in their shortest exact form (always
// with a '.' or an exponent, so that a reader keeps them doubles; NaN and
// the infinities, which JSON lacks, as the strings "NaN", "Infinity" and
// "-Infinity"), BSTRs as UTF-8 strings and a null BSTR as null.
//
//   {"t":1520,"th":36,"op":"GetDeliveryByOrdinal","in":[1],"out":[1001],"r":0,"us":4}
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace qxtrace {

class Line {
 public:
  Line() = default;
  ~Line() {
    if (data_ != small_) std::free(data_);
  }
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;

  // An object on a line of its own: Open, then Key and a value (or a
  // list) for each member, then Close, which ends the line.
  void Open();
  void Key(const char* key);
  void Close() { Append("}\n", 2); }
  // "key":[ ... ] around the values of a list.
  void OpenList(const char* key);
  void CloseList() { Char(']'); }

  // A call: {"t":T,"th":N,"op":"name" ... ,"r":R,"us":D}
  void Begin(int64_t micros, uint32_t thread, const char* op);
  void End(int32_t result, int64_t micros);

  // Values, as members or list items (an item puts its own separator).
  void Int(int64_t value);
  void Real(double value);
  // `length` UTF-16 units (a BSTR may hold a NUL); null for a null text.
  void Text(const wchar_t* text, size_t length);
  void Null();

  // A JSON string from ASCII text (names), escaped.
  void String(const char* text);

  const char* data() const { return data_; }
  size_t size() const { return size_; }
  // False when memory ran out: the line is then incomplete and must not be
  // written.
  bool whole() const { return whole_; }

 private:
  void Item();
  void Raw(const char* text) { Append(text, std::strlen(text)); }
  void Char(char c) { Append(&c, 1); }
  void Append(const char* text, size_t length);
  bool Reserve(size_t more);
  void Utf8(uint32_t code);

  char small_[1024];
  char* data_ = small_;
  size_t size_ = 0;
  size_t capacity_ = sizeof small_;
  bool first_ = true;   // no list item yet
  bool member_ = true;  // no object member yet
  bool whole_ = true;
};

}  // namespace qxtrace
