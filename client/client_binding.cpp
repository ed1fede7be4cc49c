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

// A load that failed, as a service's log must tell it: a message box
// reaches no one there.
std::string LoadFailure(DWORD error) {
  std::string text = "Erro carregando QXClient.dll: erro " + std::to_string(error) +
                     " do Windows ao procurar na pasta do programa (" + platform::HostFolder() +
                     ") e no caminho de busca";
  if (error == ERROR_MOD_NOT_FOUND) text += ": arquivo não encontrado";
  if (error == ERROR_BAD_EXE_FORMAT)
    text += ": arquitetura errada (a DLL deve ser de " + std::to_string(8 * sizeof(void*)) +
            " bits, como o programa)";
  return text;
}

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(module, path, sizeof path);
  return std::string(path, length < sizeof path ? length : 0);
}

}  // namespace

ClientBinding::ClientBinding() {
  complete_ = LoadAndResolve();
  if (!complete_) platform::ShowMessage("Erro carregando QXClient.dll");
}

bool ClientBinding::LoadAndResolve() {
  // Never freed: the library stays loaded until the process ends.
  HMODULE library = LoadLibraryA("QXClient.dll");
  if (library == nullptr) {
    failure_ = LoadFailure(GetLastError());
    return false;
  }
  // In order, stopping at the first missing name: the fields after it stay
  // null.
  const char* missing = nullptr;
#define QX_RESOLVE(name) \
  if (missing == nullptr && !Resolve(library, #name, name)) missing = #name;
  QX_ENTRY_POINTS(QX_RESOLVE, QX_RESOLVE)
#undef QX_RESOLVE
  if (missing != nullptr)
    failure_ = "Erro carregando QXClient.dll: " + ModulePath(library) + " não tem " + missing;
  return missing == nullptr;
}

}  // namespace korvan
