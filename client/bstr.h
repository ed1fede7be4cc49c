// BSTRs crossing to and from the client library.
#pragma once

#include <string_view>
#include <wtypes.h>

namespace korvan {

// A BSTR made from the host's ANSI text, freed when it goes out of scope.
class AnsiBstr {
 public:
  explicit AnsiBstr(std::string_view text);
  ~AnsiBstr();
  AnsiBstr(const AnsiBstr&) = delete;
  AnsiBstr& operator=(const AnsiBstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

// Receives a BSTR that the library returns, and frees it.
class ReturnedBstr {
 public:
  ReturnedBstr() = default;
  ~ReturnedBstr();
  ReturnedBstr(const ReturnedBstr&) = delete;
  ReturnedBstr& operator=(const ReturnedBstr&) = delete;
  BSTR* out() { return &value_; }

 private:
  BSTR value_ = nullptr;
};

}  // namespace korvan
