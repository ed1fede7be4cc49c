// The 26 exports hosts call. Each one copies the host's texts, runs the
// operation and turns an error into a 0 result and a log line. The driver
// throws nothing: no exception or fault reaches the host.
#include <windows.h>

#include <initializer_list>
#include <string>

#include "deliveries/confirmation.h"
#include "deliveries/nozzle_table.h"
#include "deliveries/retrieval.h"
#include "base/boundary.h"
#include "base/log.h"
#include "base/log_writer.h"
#include "base/platform.h"
#include "driver/runtime_unload.h"
#include "driver/session.h"
#include "driver/uKorvan.h"
#include "pumps/authorisation.h"
#include "pumps/prices.h"
#include "pumps/status.h"

namespace {

// Runs an operation alone, under the driver's lock: a host may call from a
// timer and from its user interface at once, and a poll must not hand over
// a delivery that a confirmation is clearing. An operation that ends with an
// error (a null buffer, a number that does not convert, no session or no
// entry point) gives 0, and the error is logged after `failure`.
template <class Operation>
KorvanBool Guarded(const char* failure, Operation operation) noexcept {
  platform::DriverLockHold hold;
  std::string error;
  if (operation(error)) return 1;
  if (!error.empty()) WriteLog(failure, error);
  return 0;
}

// The same for the operations that compute with numbers from the controller
// or the host: they also run inside the floating-point shield. The others
// only move integers and texts.
template <class Operation>
KorvanBool GuardedNumbers(const char* failure, Operation operation) noexcept {
  platform::FloatingPointShield shield;
  return Guarded(failure, operation);
}

// A null output buffer gives 0 before anything is asked of the controller.
bool HasBuffers(std::initializer_list<const void*> buffers, std::string& error) {
  for (const void* buffer : buffers)
    if (buffer == nullptr) {
      error = "buffer do host nulo";
      return false;
    }
  return true;
}

}  // namespace

extern "C" {

// Operations the driver answers with a fixed value. They read nothing, so a
// host may pass them up to three register arguments.
KORVAN_CALL KorvanBool AUT_AlteraConfiguracaoBomba() { return 0; }
KORVAN_CALL KorvanBool AUT_SetarUltimoIdLogico() { return 0; }
KORVAN_CALL KorvanBool AUT_ExcluiVendedorCliente() { return 0; }
KORVAN_CALL KorvanBool AUT_InsereCliente() { return 0; }
KORVAN_CALL KorvanBool AUT_InsereVendedor() { return 0; }
KORVAN_CALL KorvanBool AUT_PagamentoBico() { return 0; }
KORVAN_CALL KorvanBool AUT_PresetAbastecimento() { return 0; }
KORVAN_CALL KorvanBool AUT_ObtemDisplay() { return 1; }

KORVAN_CALL KorvanBool AUT_VerificaSuporte(int32_t code) {
  switch (code) {
    case 2: case 3: case 4: case 5: case 7:
      return 1;
    default:
      return 0;
  }
}

KORVAN_CALL KorvanBool AUT_ObtemAssinatura(char* signature, char* version) {
  if (signature) WriteHostText(signature, "Korvan");
  if (version) WriteHostText(version, "3.37");
  return 1;
}

// The log switches stay outside the driver's lock: the log writer guards
// itself, and switching the log must not wait for a poll.
KORVAN_CALL void DRV_IniciaGravacaoLog() { IniciaGravacaoLog(); }

KORVAN_CALL void DRV_ParaGravacaoLog() { ParaGravacaoLog(); }

KORVAN_CALL KorvanBool AUT_IniciaComunicacao(const char* porta, const char* modo,
                                             const char* configuracao) {
  return Guarded("Falhou >AUT_IniciaComunicacao< ", [&](std::string&) {
    return IniciaComunicacao(std::string(HostText(porta)),
                             std::string(HostText(modo)),
                             std::string(HostText(configuracao)));
  });
}

KORVAN_CALL void AUT_FinalizaComunicacao() {
  Guarded("< AUT_FinalizaComunicacao > ", [](std::string&) {
    FinalizaComunicacao();
    return true;
  });
}

KORVAN_CALL void AUT_RegistraBico(KORVAN_ARGS8(
    const char* numeroLogico, const char* numeroBomba, const char* /*unread*/,
    const char* casasLitragem, const char* casasPreco, const char* casasTotal,
    const char* casasEncerrante, const char* configuracao)) {
  Guarded("<AUT_RegistraBico> Falhou: ", [&](std::string&) {
    Nozzles().Register(numeroLogico, numeroBomba, casasLitragem, casasPreco,
                       casasTotal, casasEncerrante, configuracao);
    return true;
  });
}

KORVAN_CALL KorvanBool AUT_ObtemAbastecimento(KORVAN_ARGS11(
    char* numeroLogico, char* volume, char* valorTotal, char* precoUnitario,
    char* encerranteInicial, char* encerranteFinal, char* hora, char* text8,
    char* text9, char* text10, double* data)) {
  DeliveryBuffers buffers{numeroLogico, volume, valorTotal, precoUnitario,
                          encerranteInicial, encerranteFinal, hora, text8,
                          text9, text10, data};
  return GuardedNumbers("<AUT_ObtemAbastecimento> Falhou: ", [&](std::string& error) {
    return HasBuffers({numeroLogico, volume, valorTotal, precoUnitario,
                       encerranteInicial, encerranteFinal, hora, text8, text9,
                       text10, data},
                      error) &&
           ObtemAbastecimento(buffers, Reconecta);
  });
}

KORVAN_CALL KorvanBool AUT_ConfirmaAbastecimento() {
  return Guarded("<AUT_ConfirmaAbastecimento> Falhou: ",
                 [](std::string&) { return ConfirmaAbastecimento(); });
}

KORVAN_CALL KorvanBool AUT_ObtemStatus(char* status) {
  return Guarded(">AUT_ObtemStatus< Falhou ",
                 [&](std::string& error) {
    return HasBuffers({status}, error) && ObtemStatus(status);
  });
}

KORVAN_CALL KorvanBool AUT_ObtemEncerrante(const char* bico, char* encerrante) {
  return GuardedNumbers("<AUT_ObtemEncerrante> Falhou: ",
                 [&](std::string& error) {
    return HasBuffers({encerrante}, error) &&
           ObtemEncerrante(bico, encerrante, error);
  });
}

KORVAN_CALL KorvanBool AUT_ObtemPreco(const char* bico, char* preco) {
  return GuardedNumbers("<AUT_ObtemPreco> Falhou: ",
                 [&](std::string& error) {
    return HasBuffers({preco}, error) &&
           ObtemPreco(bico, preco, error);
  });
}

KORVAN_CALL KorvanBool AUT_AlteraPreco(const char* bico, const char* preco) {
  return GuardedNumbers("<AUT_AlteraPreco> Falhou: ", [&](std::string& error) {
    return AlteraPreco(bico, preco, error);
  });
}

KORVAN_CALL KorvanBool AUT_AutorizaAbastecimento(const char* bico) {
  return Guarded("<AUT_AutorizaAbastecimento> Falhou: ",
                 [&](std::string& error) {
                   return AutorizaAbastecimento(bico, error);
                 });
}

KORVAN_CALL KorvanBool AUT_BloqueiaBico(const char* bico) {
  return Guarded("<AUT_BloqueiaBico> Falhou: ",
                 [&](std::string& error) {
                   return BloqueiaBico(bico, error);
                 });
}

KORVAN_CALL KorvanBool AUT_DesbloqueiaBico(const char* bico) {
  return Guarded("<AUT_DesbloqueiaBico> Falhou: ",
                 [&](std::string& error) {
                   return DesbloqueiaBico(bico, error);
                 });
}

KORVAN_CALL KorvanBool AUT_BloqueiaTodosBicos() {
  return Guarded("<AUT_BloqueiaTodosBicos> Falhou: ",
                 [](std::string& error) { return BloqueiaTodosBicos(error); });
}

KORVAN_CALL KorvanBool AUT_DesbloqueiaTodosBicos() {
  return Guarded("<AUT_DesbloqueiaTodosBicos> Falhou: ",
                 [](std::string& error) { return DesbloqueiaTodosBicos(error); });
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    platform::CreateDriverLock();
    LoadSettings(platform::ReadRegionalSettings());
  }
  // At process exit other threads are gone, maybe holding the lock; the
  // process takes it with it.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    platform::DestroyDriverLock();
    ReleaseRuntimeAtUnload();
  }
  return TRUE;
}

}  // extern "C"
