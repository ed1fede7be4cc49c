// The binding to the controller's client library, QXClient.dll, loaded at run
// time: one object holds the address of every entry point.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "client/QXClientApi.h"

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

};

// The current binding object, or null before the first communication start.
// Read inline: every client call looks it up.
extern std::unique_ptr<TQXClient> currentClient;
inline const TQXClient* CurrentClient() { return currentClient.get(); }
// Makes a new binding object the current one (every communication start
// does); the replaced one is released, its library stays loaded.
void ReplaceCurrentClient();

// Why entry point `name` cannot be called, for the log: no communication was
// started yet, or the library lacks the name.
std::string MissingEntryPoint(const char* name);

// The current binding's entry point in `field`, or null with `error` saying
// why; a null one is never called. An operation that meets one ends at once,
// with false and `error` set, and its caller logs the error.
template <class Fn>
Fn EntryPoint(Fn TQXClient::*field, const char* name, std::string& error) {
  const TQXClient* client = CurrentClient();
  Fn function = client ? client->*field : nullptr;
  if (function == nullptr) error = MissingEntryPoint(name);
  return function;
}

// The current binding's entry point `name`, or null:
//   auto getPumpsCount = QX(GetPumpsCount, error);
//   if (!getPumpsCount) return false;
#define QX(name, error) EntryPoint(&TQXClient::name, #name, error)
