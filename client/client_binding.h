// The binding to the controller's client library, QXClient.dll, loaded at run
// time: one object holds the address of every entry point.
#pragma once

#include <cstdint>
#include <string>

#include "base/result.h"
#include "client/QXClientApi.h"

namespace korvan {

// What the driver logs on as. The controller marks the deliveries this
// client locks with its id, and only a confirmation locks one.
constexpr int32_t kDriverClientId = 97;
constexpr int16_t kDriverClientType = 7;

class ClientBinding {
 public:
  // Loads the library and resolves the entry points in order, stopping at the
  // first missing name. When that fails it shows "Erro carregando
  // QXClient.dll" and the object stays partly resolved: the names before the
  // missing one are set, the rest null. Creating a binding never fails.
  ClientBinding();

  // Every entry point resolved.
  bool complete() const { return complete_; }
  // Why the binding is not complete, for the log: the Windows error of the
  // load, or the library's path and the first name it lacks. Empty when
  // complete.
  const std::string& failure() const { return failure_; }

#define QX_FIELD(name) decltype(&qx::name) name = nullptr;
  QX_ENTRY_POINTS(QX_FIELD, QX_FIELD)
#undef QX_FIELD

 private:
  bool LoadAndResolve();

  bool complete_ = false;
  std::string failure_;
};

// One entry point that the driver calls: its field and its name, for the log.
template <class Function>
struct EntryPoint {
  Function ClientBinding::*field;
  const char* name;
};

// entry::TestConnection and the other 21 called entry points.
namespace entry {
#define QX_ENTRY(name) \
  inline constexpr EntryPoint<decltype(&qx::name)> name{&ClientBinding::name, #name};
#define QX_SKIP(name)
QX_ENTRY_POINTS(QX_ENTRY, QX_SKIP)
#undef QX_SKIP
#undef QX_ENTRY
}  // namespace entry

// Calls an entry point of `binding` (null before the first communication
// start) and gives its code as a Result: 0 is Ok, any other code Refused. An
// entry point that is not there is never called: the result is Unavailable,
// with its name.
template <class Function, class... Args>
Result CallWithoutErrorLine(const ClientBinding* binding, EntryPoint<Function> entryPoint,
                            Args... args) {
  const Function function = binding ? binding->*entryPoint.field : nullptr;
  if (function == nullptr) return Result::Unavailable(binding ? entryPoint.name : nullptr);
  const int32_t code = function(args...);
  return code == 0 ? Result::Ok() : Result::Refused(code);
}

// The same, with the "Error: <code>" line for a refusal: how every client
// call is made but one.
template <class Function, class... Args>
Result Call(const ClientBinding* binding, EntryPoint<Function> entryPoint, Args... args) {
  const Result result = CallWithoutErrorLine(binding, entryPoint, args...);
  return result.refused() ? RefusedWithErrorLine(result.code()) : result;
}

}  // namespace korvan
