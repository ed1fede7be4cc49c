// The 26 exports hosts call. Each one copies the host's texts, runs the
// operation and turns anything unexpected into a 0 result and a log line:
// no exception or fault reaches the host.
#include <windows.h>

#include <exception>
#include <initializer_list>
#include <stdexcept>

#include "deliveries/confirmation.h"
#include "deliveries/nozzle_table.h"
#include "deliveries/retrieval.h"
#include "base/boundary.h"
#include "base/log.h"
#include "base/log_writer.h"
#include "base/platform.h"
#include "driver/session.h"
#include "driver/uKorvan.h"
#include "pumps/authorisation.h"
#include "pumps/prices.h"
#include "pumps/status.h"

namespace {

// Runs an operation alone, under the driver's lock: a host may call from a
// timer and from its user interface at once, and a poll must not hand over
// a delivery that a confirmation is clearing. An error the operation did not
// expect is logged after `failure` and gives 0.
template <class Operation>
KorvanBool Guarded(const char* failure, Operation operation) noexcept {
  platform::DriverLockHold hold;
  platform::FloatingPointShield shield;
  try {
    return operation() ? 1 : 0;
  } catch (const std::exception& error) {
    try {
      WriteLog(failure, error.what());
    } catch (...) {
    }
  } catch (...) {
    WriteLog(failure);
  }
  return 0;
}

// A null output buffer gives 0 before anything is asked of the controller.
void RequireBuffers(std::initializer_list<const void*> buffers) {
  for (const void* buffer : buffers)
    if (buffer == nullptr)
      throw std::invalid_argument("buffer do host nulo");
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
KORVAN_CALL void DRV_IniciaGravacaoLog() {
  try {
    IniciaGravacaoLog();
  } catch (...) {
  }
}

KORVAN_CALL void DRV_ParaGravacaoLog() {
  try {
    ParaGravacaoLog();
  } catch (...) {
  }
}

KORVAN_CALL KorvanBool AUT_IniciaComunicacao(const char* porta, const char* modo,
                                             const char* configuracao) {
  return Guarded("Falhou >AUT_IniciaComunicacao< ", [&] {
    return IniciaComunicacao(HostText(porta), HostText(modo),
                             HostText(configuracao));
  });
}

KORVAN_CALL void AUT_FinalizaComunicacao() {
  Guarded("< AUT_FinalizaComunicacao > ", [] {
    FinalizaComunicacao();
    return true;
  });
}

KORVAN_CALL void AUT_RegistraBico(KORVAN_ARGS8(
    const char* numeroLogico, const char* numeroBomba, const char* /*unread*/,
    const char* casasLitragem, const char* casasPreco, const char* casasTotal,
    const char* casasEncerrante, const char* configuracao)) {
  Guarded("<AUT_RegistraBico> Falhou: ", [&] {
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
  return Guarded("<AUT_ObtemAbastecimento> Falhou: ", [&] {
    RequireBuffers({numeroLogico, volume, valorTotal, precoUnitario,
                    encerranteInicial, encerranteFinal, hora, text8, text9,
                    text10, data});
    return ObtemAbastecimento(buffers, Reconecta);
  });
}

KORVAN_CALL KorvanBool AUT_ConfirmaAbastecimento() {
  return Guarded("<AUT_ConfirmaAbastecimento> Falhou: ",
                 [] { return ConfirmaAbastecimento(); });
}

KORVAN_CALL KorvanBool AUT_ObtemStatus(char* status) {
  return Guarded(">AUT_ObtemStatus< Falhou ",
                 [&] {
    RequireBuffers({status});
    return ObtemStatus(status);
  });
}

KORVAN_CALL KorvanBool AUT_ObtemEncerrante(const char* bico, char* encerrante) {
  return Guarded("<AUT_ObtemEncerrante> Falhou: ",
                 [&] {
    RequireBuffers({encerrante});
    return ObtemEncerrante(HostText(bico), encerrante);
  });
}

KORVAN_CALL KorvanBool AUT_ObtemPreco(const char* bico, char* preco) {
  return Guarded("<AUT_ObtemPreco> Falhou: ",
                 [&] {
    RequireBuffers({preco});
    return ObtemPreco(HostText(bico), preco);
  });
}

KORVAN_CALL KorvanBool AUT_AlteraPreco(const char* bico, const char* preco) {
  return Guarded("<AUT_AlteraPreco> Falhou: ", [&] {
    return AlteraPreco(HostText(bico), HostText(preco));
  });
}

KORVAN_CALL KorvanBool AUT_AutorizaAbastecimento(const char* bico) {
  return Guarded("<AUT_AutorizaAbastecimento> Falhou: ",
                 [&] { return AutorizaAbastecimento(HostText(bico)); });
}

KORVAN_CALL KorvanBool AUT_BloqueiaBico(const char* bico) {
  return Guarded("<AUT_BloqueiaBico> Falhou: ",
                 [&] { return BloqueiaBico(HostText(bico)); });
}

KORVAN_CALL KorvanBool AUT_DesbloqueiaBico(const char* bico) {
  return Guarded("<AUT_DesbloqueiaBico> Falhou: ",
                 [&] { return DesbloqueiaBico(HostText(bico)); });
}

KORVAN_CALL KorvanBool AUT_BloqueiaTodosBicos() {
  return Guarded("<AUT_BloqueiaTodosBicos> Falhou: ",
                 [] { return BloqueiaTodosBicos(); });
}

KORVAN_CALL KorvanBool AUT_DesbloqueiaTodosBicos() {
  return Guarded("<AUT_DesbloqueiaTodosBicos> Falhou: ",
                 [] { return DesbloqueiaTodosBicos(); });
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    platform::CreateDriverLock();
    LoadSettings(platform::ReadRegionalSettings());
  }
  // At process exit other threads are gone, maybe holding the lock; the
  // process takes it with it.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr)
    platform::DestroyDriverLock();
  return TRUE;
}

}  // extern "C"
