// The 26 exports hosts call. Each one runs its operation on the driver's one
// session, reading the host's texts in place during the call, and turns a
// failure into a 0 result and a log line. The driver throws nothing: no
// exception or fault reaches the host.
#include <windows.h>

#include <initializer_list>

#include "base/host_texts.h"
#include "base/log.h"
#include "base/log_writer.h"
#include "base/platform.h"
#include "base/result.h"
#include "client/session.h"
#include "deliveries/confirmation.h"
#include "deliveries/nozzle_table.h"
#include "deliveries/retrieval.h"
#include "driver/communication.h"
#include "driver/runtime_unload.h"
#define KORVAN_BUILDING_DRIVER
#include "include/korvan.h"
#include "pumps/authorisation.h"
#include "pumps/prices.h"
#include "pumps/status.h"
#include "pumps/status_letters.h"

// What the hosts' declarations promise about AUT_ObtemStatus's text.
static_assert(korvan::kMostPumps + 1 == KORVAN_STATUS_SIZE_MAX,
              "korvan.h's KORVAN_STATUS_SIZE_MAX is the longest status text and its zero");

namespace korvan {
namespace {

// The driver's state, from load to unload: one session with the controller
// and the nozzles the host registered, which outlive sessions.
Session session;
NozzleTable nozzles;

// Runs an operation alone, under the driver's lock: a host may call from a
// timer and from its user interface at once, and a poll must not hand over
// a delivery that a confirmation is clearing. A failure that the operation's
// own lines have not told (no session, no entry point, a null buffer, a
// number that does not convert) is logged after `failure`.
template <class Operation>
int Run(const char* failure, Operation operation) noexcept {
  platform::DriverLockHold hold;
  const Result result = operation();
  TellCause(failure, result);
  return result.ok() ? 1 : 0;
}

// For the operations that tell every failure in their own lines.
template <class Operation>
int Run(Operation operation) noexcept {
  return Run(nullptr, operation);
}

// The same for the operations that compute with numbers from the controller
// or the host: they also run inside the floating-point shield. The others
// only move integers and texts.
template <class Operation>
int RunWithNumbers(const char* failure, Operation operation) noexcept {
  platform::FloatingPointShield shield;
  return Run(failure, operation);
}

// A null output buffer gives 0 before anything is asked of the controller.
bool HasBuffers(std::initializer_list<const void*> buffers) {
  for (const void* buffer : buffers)
    if (buffer == nullptr) return false;
  return true;
}

const char kNullBuffer[] = "buffer do host nulo";

}  // namespace
}  // namespace korvan

using namespace korvan;

extern "C" {

// Operations the driver answers with a fixed value. They read nothing, so a
// host may pass them up to three register arguments.
KORVAN_DRIVER_CALL int AUT_AlteraConfiguracaoBomba() { return 0; }
KORVAN_DRIVER_CALL int AUT_SetarUltimoIdLogico() { return 0; }
KORVAN_DRIVER_CALL int AUT_ExcluiVendedorCliente() { return 0; }
KORVAN_DRIVER_CALL int AUT_InsereCliente() { return 0; }
KORVAN_DRIVER_CALL int AUT_InsereVendedor() { return 0; }
KORVAN_DRIVER_CALL int AUT_PagamentoBico() { return 0; }
KORVAN_DRIVER_CALL int AUT_PresetAbastecimento() { return 0; }
KORVAN_DRIVER_CALL int AUT_ObtemDisplay() { return 1; }

KORVAN_DRIVER_CALL int AUT_VerificaSuporte(int code) {
  switch (code) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
      return 1;
    default:
      return 0;
  }
}

KORVAN_DRIVER_CALL int AUT_ObtemAssinatura(char* signature, char* version) {
  if (signature) WriteHostText(signature, "Korvan");
  if (version) WriteHostText(version, "3.37");
  return 1;
}

// The log switches stay outside the driver's lock: the log writer guards
// itself, and switching the log must not wait for a poll.
KORVAN_DRIVER_CALL void DRV_IniciaGravacaoLog() { StartLogging(); }

KORVAN_DRIVER_CALL void DRV_ParaGravacaoLog() { StopLogging(); }

KORVAN_DRIVER_CALL int AUT_IniciaComunicacao(const char* porta, const char* modo,
                                             const char* configuracao) {
  return Run([&] {
    return StartCommunication(session, HostText(porta), HostText(modo), HostText(configuracao))
               ? Result::Ok()
               : Result::Refused(0);
  });
}

KORVAN_DRIVER_CALL void AUT_FinalizaComunicacao() {
  Run([] {
    EndCommunication(session);
    return Result::Ok();
  });
}

KORVAN_DRIVER_CALL void AUT_RegistraBico
KORVAN_DRIVER_PARAMETERS(const char* numeroLogico, const char* numeroBomba, const char* /*unread*/,
                         const char* casasLitragem, const char* casasPreco, const char* casasTotal,
                         const char* casasEncerrante, const char* configuracao) {
  Run([&] {
    nozzles.Register(numeroLogico, numeroBomba, casasLitragem, casasPreco, casasTotal,
                     casasEncerrante, configuracao);
    return Result::Ok();
  });
}

KORVAN_DRIVER_CALL int AUT_ObtemAbastecimento
KORVAN_DRIVER_PARAMETERS(char* numeroLogico, char* volume, char* valorTotal, char* precoUnitario,
                         char* encerranteInicial, char* encerranteFinal, char* hora, char* text8,
                         char* text9, char* text10, double* data) {
  return RunWithNumbers("<AUT_ObtemAbastecimento> Falhou: ", [&] {
    if (!HasBuffers({numeroLogico, volume, valorTotal, precoUnitario, encerranteInicial,
                     encerranteFinal, hora, text8, text9, text10, data}))
      return Result::Invalid(kNullBuffer);
    const DeliveryBuffers buffers{
        numeroLogico, volume, valorTotal, precoUnitario, encerranteInicial, encerranteFinal, hora,
        text8,        text9,  text10,     data};
    return RetrieveDelivery(session, nozzles, buffers, Reconnect);
  });
}

KORVAN_DRIVER_CALL int AUT_ConfirmaAbastecimento() {
  return Run("<AUT_ConfirmaAbastecimento> Falhou: ", [] { return ConfirmDelivery(session); });
}

KORVAN_DRIVER_CALL int AUT_ObtemStatus(char* status) {
  return Run(">AUT_ObtemStatus< Falhou ", [&] {
    return status ? ReadPumpStatus(session, status) : Result::Invalid(kNullBuffer);
  });
}

KORVAN_DRIVER_CALL int AUT_ObtemEncerrante(const char* bico, char* encerrante) {
  return RunWithNumbers("<AUT_ObtemEncerrante> Falhou: ", [&] {
    return encerrante ? ReadTotalizer(session, bico, encerrante) : Result::Invalid(kNullBuffer);
  });
}

KORVAN_DRIVER_CALL int AUT_ObtemPreco(const char* bico, char* preco) {
  return RunWithNumbers("<AUT_ObtemPreco> Falhou: ", [&] {
    return preco ? ReadPrice(session, bico, preco) : Result::Invalid(kNullBuffer);
  });
}

KORVAN_DRIVER_CALL int AUT_AlteraPreco(const char* bico, const char* preco) {
  return RunWithNumbers("<AUT_AlteraPreco> Falhou: ",
                        [&] { return ChangePrice(session, bico, preco); });
}

KORVAN_DRIVER_CALL int AUT_AutorizaAbastecimento(const char* bico) {
  return Run("<AUT_AutorizaAbastecimento> Falhou: ",
             [&] { return AuthoriseDelivery(session, bico); });
}

KORVAN_DRIVER_CALL int AUT_BloqueiaBico(const char* bico) {
  return Run("<AUT_BloqueiaBico> Falhou: ", [&] { return LockNozzle(session, bico); });
}

KORVAN_DRIVER_CALL int AUT_DesbloqueiaBico(const char* bico) {
  return Run("<AUT_DesbloqueiaBico> Falhou: ", [&] { return UnlockNozzle(session, bico); });
}

KORVAN_DRIVER_CALL int AUT_BloqueiaTodosBicos() {
  return Run("<AUT_BloqueiaTodosBicos> Falhou: ", [] { return LockAllPumps(session); });
}

KORVAN_DRIVER_CALL int AUT_DesbloqueiaTodosBicos() {
  return Run("<AUT_DesbloqueiaTodosBicos> Falhou: ", [] { return UnlockAllPumps(session); });
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    platform::CreateDriverLock();
    session.regional = platform::ReadRegionalSettings();
    SetLogTimeSeparator(session.regional.timeSeparator);
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
