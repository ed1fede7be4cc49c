// The arguments of one entry-point call, typed as the contract declares
// them: inputs are values (a BSTR input too), outputs are pointers. One pack
// gives the call record its inputs as text, and trace replay its inputs as
// JSON and its outputs from a recorded call.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <oleauto.h>

#include <cwchar>
#include <limits>
#include <string>
#include <tuple>
#include <type_traits>

#include "sim/model/call_book.h"
#include "sim/model/replay.h"

namespace qxsim {

template <class T>
constexpr bool kIsOutput = std::is_pointer_v<T> && !std::is_same_v<T, BSTR>;

// UTF-8 of `length` wide characters, and back.
std::string Utf8Of(const wchar_t* text, size_t length);
BSTR BstrOf(const std::string& utf8);  // null only when out of memory

template <class... A>
class Args {
 public:
  explicit Args(A... values) : values_(values...) {}

  // The inputs, in order, for the call record.
  void Describe(CallText& call) const {
    std::apply([&](auto... v) { (DescribeInput(call, v), ...); }, values_);
  }

  Json Inputs() const {
    Json inputs = Json::array();
    std::apply([&](auto... v) { (AddInput(inputs, v), ...); }, values_);
    return inputs;
  }

  // Writes the recorded outputs through the caller's pointers: all of them,
  // or, when one does not fit its output (`why`), none.
  bool Fill(const Json& out, std::string& why) const {
    constexpr size_t count = (size_t{kIsOutput<A>} + ... + 0);
    if (out.size() != count) {
      why =
          std::to_string(out.size()) + " outputs recorded, the call takes " + std::to_string(count);
      return false;
    }
    BSTR made[count ? count : 1] = {};
    size_t k = 0;
    bool fits = true;
    std::apply([&](auto... v) { ((fits = fits && Check(v, out, k, made, why)), ...); }, values_);
    if (!fits) {
      for (BSTR b : made) SysFreeString(b);
      return false;
    }
    k = 0;
    std::apply([&](auto... v) { (Put(v, out, k, made), ...); }, values_);
    return true;
  }

 private:
  template <class T>
  static void DescribeInput(CallText& call, T value) {
    if constexpr (std::is_same_v<T, BSTR>)
      call.Text(value);
    else if constexpr (std::is_floating_point_v<T>)
      call.Real(value);
    else if constexpr (!kIsOutput<T>)
      call.Int(value);
  }

  template <class T>
  static void AddInput(Json& inputs, T value) {
    if constexpr (std::is_same_v<T, BSTR>)
      inputs.push_back(value ? Json(Utf8Of(value, wcslen(value))) : Json());
    else if constexpr (!kIsOutput<T>)
      inputs.push_back(value);
  }

  // For each argument in turn; `k` counts the outputs passed so far, the
  // index of this one in `out` when it is one.
  template <class T>
  static bool Check(T, const Json& out, size_t& k, BSTR* made, std::string& why) {
    if constexpr (!kIsOutput<T>) {
      return true;
    } else {
      using V = std::remove_pointer_t<T>;
      const size_t i = k++;
      const Json& value = out[i];
      if (value.is_null()) return true;  // recorded without an address
      bool fits = false;
      if constexpr (std::is_same_v<V, BSTR>) {
        fits = value.is_string();
        if (fits) {
          made[i] = BstrOf(value.get_ref<const std::string&>());
          fits = made[i] != nullptr;
        }
      } else if constexpr (std::is_floating_point_v<V>) {
        double d = 0;
        fits = qxtrace::ReadDouble(value, d);
      } else {
        int64_t n = 0;
        fits = qxtrace::ReadInteger(value, std::numeric_limits<V>::min(),
                                    std::numeric_limits<V>::max(), n);
      }
      if (!fits) why = "output " + std::to_string(i + 1) + " is " + value.dump();
      return fits;
    }
  }

  template <class T>
  static void Put(T pointer, const Json& out, size_t& k, BSTR* made) {
    if constexpr (kIsOutput<T>) {
      using V = std::remove_pointer_t<T>;
      const size_t i = k++;
      const Json& value = out[i];
      if (pointer == nullptr || value.is_null()) {
        if constexpr (std::is_same_v<V, BSTR>) SysFreeString(made[i]);
        return;
      }
      if constexpr (std::is_same_v<V, BSTR>) {
        *pointer = made[i];
      } else if constexpr (std::is_floating_point_v<V>) {
        qxtrace::ReadDouble(value, *pointer);
      } else {
        int64_t n = 0;
        qxtrace::ReadInteger(value, std::numeric_limits<V>::min(), std::numeric_limits<V>::max(),
                             n);
        *pointer = static_cast<V>(n);
      }
    }
  }

  std::tuple<A...> values_;
};

}  // namespace qxsim
