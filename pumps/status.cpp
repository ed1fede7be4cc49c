#include "pumps/status.h"

#include <string>

#include "client/TQXClient.h"
#include "client/bstr.h"
#include "base/log.h"
#include "base/number_texts.h"
#include "base/boundary.h"
#include "pumps/status_letters.h"

namespace {

const char kPumpEvent = 1;

// One letter per pump, position = pump number.
std::string statusBombas;

template <class... Parts>
void Log(const Parts&... parts) {
  WriteLog(">AUT_ObtemStatus< ", parts...);
}

struct PumpEvent {
  int16_t pumpNumber = 0;
  int16_t pumpState = 0;
};

// Takes the next event, a pump event, from the controller. Only the pump's
// number and state matter; the strings that come with it are freed.
bool NextPumpEvent(PumpEvent& event, std::string& error) {
  auto getNextPumpEvent = QX(GetNextPumpEventEx2, error);
  if (!getNextPumpEvent) return false;
  int32_t i32[12];
  int16_t i16[20];
  double f64[8];
  ReturnedBstr gradeName, shortGradeName, pumpName, attendantName,
      cardClientName;
  return CheckResult(getNextPumpEvent(
      &i32[0], &event.pumpNumber, &event.pumpState, &i16[0], &i32[1], &i32[2],
      &i16[1], &i16[2], &i32[3], &i32[4], gradeName.out(),
      shortGradeName.out(), &i16[3], &f64[0], &f64[1], &f64[2], &i16[4],
      pumpName.out(), &i32[5], &i16[5], &i16[6], &i16[7], &i16[8], &i16[9],
      &i32[6], &i16[10], &i16[11], &i16[12], &i16[13], &i16[14], &i16[15],
      &i16[16], &f64[3], &i32[7], &i32[8], attendantName.out(), &f64[4],
      &i32[9], &i32[10], cardClientName.out(), &f64[5]));
}

// Works through one event; false when the controller failed to give it.
bool HandleNextEvent(std::string& status, std::string& error) {
  auto getNextEventType = QX(GetNextEventType, error);
  if (!getNextEventType) return false;
  int32_t type = 0;
  if (!CheckResult(getNextEventType(&type))) {
    Log("Erro leitura do próximo evento.");
    return false;
  }
  if ((type & 0xFF) != kPumpEvent) {
    auto discardNextEvent = QX(DiscardNextEvent, error);
    if (!discardNextEvent) return false;
    CheckResult(discardNextEvent());  // a failure leaves only its line
    Log("Não há evento da bomba no momento.");
    return true;
  }
  PumpEvent event;
  if (!NextPumpEvent(event, error)) {
    if (error.empty()) Log("Falhou leitura do status da bomba.");
    return false;
  }
  char letter = TrataStatusBomba(event.pumpState);
  if (StorePumpLetter(status, event.pumpNumber, letter))
    Log("Status = ", letter);
  else  // a pump the controller did not count at logon
    Log("Bomba ", IntToStr(event.pumpNumber), " fora de 1..",
        IntToStr(static_cast<int32_t>(status.size())), ", evento ignorado.");
  return true;
}

bool ProcessStatus(char* buffer, std::string& error) {
  auto testConnection = QX(TestConnection, error);
  if (!testConnection) return false;
  if (testConnection() != 0) {
    Log("Erro não está conectado ao servidor.");
    return false;
  }
  auto processEvents = QX(ProcessEvents, error);
  if (!processEvents) return false;
  if (!CheckResult(processEvents())) {
    Log("Erro ao iniciar processamento de eventos.");
    return false;
  }
  auto getEventsCount = QX(GetEventsCount, error);
  if (!getEventsCount) return false;
  int32_t count = 0;
  if (!CheckResult(getEventsCount(&count))) {
    Log("Erro não há eventos disponiveis.");
    return false;
  }
  std::string& status = statusBombas;
  // Exactly the events counted now; later ones wait for the next call.
  for (int32_t i = 0; i < count; ++i)
    if (!HandleNextEvent(status, error)) return false;
  WriteHostText(buffer, status);
  Log("OK.");
  return true;
}

}  // namespace

void ResetStatusBombas(int32_t pumpCount) {
  statusBombas.assign(pumpCount > 0 ? static_cast<size_t>(pumpCount) : 0, 'F');
}

bool ObtemStatus(char* buffer) {
  WriteLog("<AUT_ObtemStatus>");
  std::string error;
  if (ProcessStatus(buffer, error)) return true;
  if (!error.empty()) Log("Falhou ", error);
  return false;
}
