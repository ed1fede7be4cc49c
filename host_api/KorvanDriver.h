// _Korvan.dll as a host sees it: loaded by name, every export called with
// the host's calling convention. Used by the host program and the tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <string>

#include "host_api/register_call.h"
#include "include/korvan.h"

class KorvanDriver {
 public:
  // Loads the driver (by bare name: the host program's folder first) and
  // looks its exports up once.
  explicit KorvanDriver(const char* path = "_Korvan.dll");
  bool loaded() const { return module_ != nullptr; }
  HMODULE module() const { return module_; }

  // Calls an export with pointer-sized arguments in the host's order and
  // returns the whole result register. On i686 also records how the call
  // left the stack and the callee-saved registers.
  uint32_t Call(const char* name, std::initializer_list<uintptr_t> args = {});
  const RegisterCallCheck& lastCheck() const { return check_; }
  // True when every call so far balanced the stack and kept the registers.
  bool abiClean() const { return abiClean_; }

  // The interface, typed.
  bool ObtemAssinatura(char* signature, char* version);
  bool VerificaSuporte(int32_t code);
  bool IniciaComunicacao(const char* porta, const char* modo, const char* configuracao);
  void FinalizaComunicacao();
  void RegistraBico(const char* numeroLogico, const char* numeroBomba, const char* unread,
                    const char* casasLitragem, const char* casasPreco, const char* casasTotal,
                    const char* casasEncerrante, const char* configuracao);
  struct Delivery {
    char numeroLogico[32], volume[32], valorTotal[32], precoUnitario[32], encerranteInicial[32],
        encerranteFinal[32], hora[32], text8[32], text9[32], text10[32];
    double data;
  };
  bool ObtemAbastecimento(Delivery& delivery);
  bool ConfirmaAbastecimento();
  bool ObtemStatus(char* status);
  bool ObtemEncerrante(const char* bico, char* encerrante);
  bool ObtemPreco(const char* bico, char* preco);
  bool AlteraPreco(const char* bico, const char* preco);
  bool AutorizaAbastecimento(const char* bico);
  bool BloqueiaBico(const char* bico);
  bool DesbloqueiaBico(const char* bico);
  bool BloqueiaTodosBicos();
  bool DesbloqueiaTodosBicos();
  void IniciaGravacaoLog();
  void ParaGravacaoLog();

 private:
  const void* Export(const char* name);
  bool Boolean(const char* name, std::initializer_list<uintptr_t> args = {});

  HMODULE module_ = nullptr;
#define KORVAN_COUNT_EXPORT(kind, name, parameters, arguments) +1
  // The exports in the order of korvan.h's list; null where missing.
  const void* exports_[0 KORVAN_OPERATIONS(KORVAN_COUNT_EXPORT)] = {};
#undef KORVAN_COUNT_EXPORT
  RegisterCallCheck check_{0, 1};
  bool abiClean_ = true;
};

template <class T>
uintptr_t Arg(T* pointer) {
  return reinterpret_cast<uintptr_t>(pointer);
}
inline uintptr_t Arg(int32_t value) { return static_cast<uintptr_t>(static_cast<uint32_t>(value)); }
