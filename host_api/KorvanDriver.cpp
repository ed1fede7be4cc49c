#include "host_api/KorvanDriver.h"

#include <algorithm>
#include <iterator>
#include <cstring>
#include <stdexcept>

namespace {

#define KORVAN_EXPORT_NAME(kind, name, parameters, arguments) #name,
const char* const kExportNames[] = {KORVAN_OPERATIONS(KORVAN_EXPORT_NAME)};
#undef KORVAN_EXPORT_NAME

}  // namespace

KorvanDriver::KorvanDriver(const char* path) : module_(LoadLibraryA(path)) {
  static_assert(std::size(kExportNames) == sizeof exports_ / sizeof exports_[0],
                "one slot per export");
  for (size_t i = 0; module_ != nullptr && i < std::size(kExportNames); ++i)
    exports_[i] = reinterpret_cast<const void*>(GetProcAddress(module_, kExportNames[i]));
}

const void* KorvanDriver::Export(const char* name) {
  for (size_t i = 0; i < std::size(kExportNames); ++i) {
    if (kExportNames[i] != name && std::strcmp(kExportNames[i], name) != 0) continue;
    if (exports_[i] == nullptr)
      throw std::runtime_error(std::string("_Korvan.dll does not export ") + name);
    return exports_[i];
  }
  throw std::runtime_error(std::string(name) + " is not one of the driver's operations");
}

uint32_t KorvanDriver::Call(const char* name, std::initializer_list<uintptr_t> args) {
  const void* function = Export(name);
#if defined(__i386__)
  uint32_t slots[11] = {};
  if (args.size() > 11) throw std::invalid_argument("no export takes that many arguments");
  std::copy(args.begin(), args.end(), slots);
  uint32_t result =
      korvan_call_register(function, slots, static_cast<uint32_t>(args.size()), &check_);
  abiClean_ = abiClean_ && check_.stackDelta == 0 && check_.preserved == 1;
  return result;
#else
  // One convention on x86_64: every argument takes a pointer-sized slot.
  using U = uintptr_t;
  const U* a = args.begin();
  switch (args.size()) {
    case 0:
      return reinterpret_cast<U (*)()>(function)();
    case 1:
      return reinterpret_cast<U (*)(U)>(function)(a[0]);
    case 2:
      return reinterpret_cast<U (*)(U, U)>(function)(a[0], a[1]);
    case 3:
      return reinterpret_cast<U (*)(U, U, U)>(function)(a[0], a[1], a[2]);
    case 8:
      return reinterpret_cast<U (*)(U, U, U, U, U, U, U, U)>(function)(a[0], a[1], a[2], a[3], a[4],
                                                                       a[5], a[6], a[7]);
    case 11:
      return reinterpret_cast<U (*)(U, U, U, U, U, U, U, U, U, U, U)>(function)(
          a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7], a[8], a[9], a[10]);
    default:
      throw std::invalid_argument("no export takes that many arguments");
  }
#endif
}

bool KorvanDriver::Boolean(const char* name, std::initializer_list<uintptr_t> args) {
  // The host reads the low byte only.
  return (Call(name, args) & 0xFF) != 0;
}

bool KorvanDriver::ObtemAssinatura(char* signature, char* version) {
  return Boolean("AUT_ObtemAssinatura", {Arg(signature), Arg(version)});
}
bool KorvanDriver::VerificaSuporte(int32_t code) {
  return Boolean("AUT_VerificaSuporte", {Arg(code)});
}
bool KorvanDriver::IniciaComunicacao(const char* porta, const char* modo,
                                     const char* configuracao) {
  return Boolean("AUT_IniciaComunicacao", {Arg(porta), Arg(modo), Arg(configuracao)});
}
void KorvanDriver::FinalizaComunicacao() { Call("AUT_FinalizaComunicacao"); }
void KorvanDriver::RegistraBico(const char* numeroLogico, const char* numeroBomba,
                                const char* unread, const char* casasLitragem,
                                const char* casasPreco, const char* casasTotal,
                                const char* casasEncerrante, const char* configuracao) {
  Call("AUT_RegistraBico",
       {Arg(numeroLogico), Arg(numeroBomba), Arg(unread), Arg(casasLitragem), Arg(casasPreco),
        Arg(casasTotal), Arg(casasEncerrante), Arg(configuracao)});
}
bool KorvanDriver::ObtemAbastecimento(Delivery& d) {
  return Boolean("AUT_ObtemAbastecimento",
                 {Arg(d.numeroLogico), Arg(d.volume), Arg(d.valorTotal), Arg(d.precoUnitario),
                  Arg(d.encerranteInicial), Arg(d.encerranteFinal), Arg(d.hora), Arg(d.text8),
                  Arg(d.text9), Arg(d.text10), Arg(&d.data)});
}
bool KorvanDriver::ConfirmaAbastecimento() { return Boolean("AUT_ConfirmaAbastecimento"); }
bool KorvanDriver::ObtemStatus(char* status) { return Boolean("AUT_ObtemStatus", {Arg(status)}); }
bool KorvanDriver::ObtemEncerrante(const char* bico, char* encerrante) {
  return Boolean("AUT_ObtemEncerrante", {Arg(bico), Arg(encerrante)});
}
bool KorvanDriver::ObtemPreco(const char* bico, char* preco) {
  return Boolean("AUT_ObtemPreco", {Arg(bico), Arg(preco)});
}
bool KorvanDriver::AlteraPreco(const char* bico, const char* preco) {
  return Boolean("AUT_AlteraPreco", {Arg(bico), Arg(preco)});
}
bool KorvanDriver::AutorizaAbastecimento(const char* bico) {
  return Boolean("AUT_AutorizaAbastecimento", {Arg(bico)});
}
bool KorvanDriver::BloqueiaBico(const char* bico) {
  return Boolean("AUT_BloqueiaBico", {Arg(bico)});
}
bool KorvanDriver::DesbloqueiaBico(const char* bico) {
  return Boolean("AUT_DesbloqueiaBico", {Arg(bico)});
}
bool KorvanDriver::BloqueiaTodosBicos() { return Boolean("AUT_BloqueiaTodosBicos"); }
bool KorvanDriver::DesbloqueiaTodosBicos() { return Boolean("AUT_DesbloqueiaTodosBicos"); }
void KorvanDriver::IniciaGravacaoLog() { Call("DRV_IniciaGravacaoLog"); }
void KorvanDriver::ParaGravacaoLog() { Call("DRV_ParaGravacaoLog"); }
