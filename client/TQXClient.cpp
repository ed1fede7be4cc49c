#include "client/TQXClient.h"

#include <windows.h>

#include <memory>

#include "base/platform.h"

std::unique_ptr<TQXClient> currentClient;

namespace {

// Resolves one name into its field; false when the library lacks it.
template <class Fn>
bool Resolve(HMODULE library, const char* name, Fn& field) {
  field = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(library, name)));
  return field != nullptr;
}

}  // namespace

TQXClient::TQXClient() {
  if (LoadDll())
    Loaded = -1;
  else
    platform::ShowMessage("Erro carregando QXClient.dll");
}

int32_t TQXClient::LoadDll() {
  // Never freed: the library stays loaded until the process ends.
  HMODULE library = LoadLibraryA("QXClient.dll");
  if (library == nullptr) return 0;
#define QX_RESOLVE(name) \
  if (!Resolve(library, #name, name)) return 0;
  QX_ENTRY_POINTS(QX_RESOLVE, QX_RESOLVE)
#undef QX_RESOLVE
  return -1;
}

std::string MissingEntryPoint(const char* name) {
  if (!currentClient) return "no communication started yet";
  return std::string("QXClient.dll: ") + name + " is not available";
}

void ReplaceCurrentClient() {
  currentClient = std::make_unique<TQXClient>();
}
