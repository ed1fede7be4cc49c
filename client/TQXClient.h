// The binding to the controller's client library, QXClient.dll, loaded at run
// time: one object holds the address of every entry point.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "client/QXClientApi.h"

// Raised instead of calling an entry point that is not there: no session was
// started yet, or the library lacks the name.
class EMissingEntryPoint : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The client id the driver logs on with. The controller marks the deliveries
// this client locks with it, and only a confirmation locks one.
constexpr int32_t kDriverClientId = 97;

class TQXClient {
 public:
  // Loads the library and resolves every entry point. When that fails it
  // shows "Erro carregando QXClient.dll" and the object stays partly
  // resolved: creating the binding never fails.
  TQXClient();

  // 0 for false, -1 for true.
  int32_t Loaded = 0;
#define QX_FIELD(name) decltype(&qx::name) name = nullptr;
  QX_ENTRY_POINTS(QX_FIELD, QX_FIELD)
#undef QX_FIELD

  // Loads the library and resolves the entry points in order, stopping at the
  // first missing name. 0 for false, -1 for true.
  int32_t LoadDll();

  // The entry point held in `field`, never a null one.
  template <class Fn>
  Fn Require(Fn TQXClient::*field, const char* name) const {
    if (this->*field == nullptr)
      throw EMissingEntryPoint(std::string("QXClient.dll: ") + name +
                               " is not available");
    return this->*field;
  }
};

// The current binding's entry point `name`, for calling:
// CheckResult(QX(GetPumpsCount)(&count)). Throws EMissingEntryPoint when there
// is no binding yet or it lacks the name.
#define QX(name) CurrentClient().Require(&TQXClient::name, #name)

const TQXClient& CurrentClient();
// Makes a new binding object the current one (every communication start
// does); the replaced one is released, its library stays loaded.
void ReplaceCurrentClient();
