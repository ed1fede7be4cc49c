#include "client/client_binding.h"

#include <windows.h>

#include "base/platform.h"

namespace korvan {

namespace {

// Resolves one name into its field; false when the library lacks it.
template <class Function>
bool Resolve(HMODULE library, const char* name, Function& field) {
  field = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return field != nullptr;
}

}  // namespace

ClientBinding::ClientBinding() {
  complete_ = LoadAndResolve();
  if (!complete_) platform::ShowMessage("Erro carregando QXClient.dll");
}

bool ClientBinding::LoadAndResolve() {
  // Never freed: the library stays loaded until the process ends.
  HMODULE library = LoadLibraryA("QXClient.dll");
  if (library == nullptr) return false;
#define QX_RESOLVE(name) \
  if (!Resolve(library, #name, name)) return false;
  QX_ENTRY_POINTS(QX_RESOLVE, QX_RESOLVE)
#undef QX_RESOLVE
  return true;
}

}  // namespace korvan
