#include "pumps/status.h"

#include <string>

#include "base/host_texts.h"
#include "base/log.h"
#include "base/number_texts.h"
#include "client/bstr.h"
#include "pumps/status_letters.h"

namespace korvan {

namespace {

// The event type of a pump event, in the type's first byte.
constexpr int32_t kPumpEvent = 1;

template <class... Parts>
void Log(const Parts&... parts) {
  WriteLog(">AUT_ObtemStatus< ", parts...);
}

struct PumpEvent {
  int16_t pumpNumber{};
  int16_t pumpState{};
};

// Takes the next event, a pump event, from the controller. Only the pump's
// number and state matter; the strings that come with it are freed.
Result NextPumpEvent(const Session& session, PumpEvent& event) {
  int32_t i32[12];
  int16_t i16[20];
  double f64[8];
  ReturnedBstr gradeName, shortGradeName, pumpName, attendantName, cardClientName;
  return session.Call(entry::GetNextPumpEventEx2, &i32[0], &event.pumpNumber, &event.pumpState,
                      &i16[0], &i32[1], &i32[2], &i16[1], &i16[2], &i32[3], &i32[4],
                      gradeName.out(), shortGradeName.out(), &i16[3], &f64[0], &f64[1], &f64[2],
                      &i16[4], pumpName.out(), &i32[5], &i16[5], &i16[6], &i16[7], &i16[8], &i16[9],
                      &i32[6], &i16[10], &i16[11], &i16[12], &i16[13], &i16[14], &i16[15], &i16[16],
                      &f64[3], &i32[7], &i32[8], attendantName.out(), &f64[4], &i32[9], &i32[10],
                      cardClientName.out(), &f64[5]);
}

// Works through one event.
Result HandleNextEvent(Session& session) {
  int32_t type = 0;
  Result result = OnRefusal(session.Call(entry::GetNextEventType, &type), ">AUT_ObtemStatus< ",
                            "Erro leitura do próximo evento.");
  if (!result.ok()) return result;
  if ((type & 0xFF) != kPumpEvent) {
    // A refused discard leaves only its "Error: " line; the next event is
    // looked at all the same.
    result = session.Call(entry::DiscardNextEvent);
    if (result.untold()) return result;
    Log("Não há evento da bomba no momento.");
    return Result::Ok();
  }
  PumpEvent event;
  result = OnRefusal(NextPumpEvent(session, event), ">AUT_ObtemStatus< ",
                     "Falhou leitura do status da bomba.");
  if (!result.ok()) return result;
  const char letter = StatusLetter(event.pumpState);
  if (StorePumpLetter(session.pumpStatus, event.pumpNumber, letter))
    Log("Status = ", letter);
  else  // a pump the controller did not count at logon
    Log("Bomba ", IntegerText(event.pumpNumber).view(), " fora de 1..",
        IntegerText(static_cast<int32_t>(session.pumpStatus.size())).view(), ", evento ignorado.");
  return Result::Ok();
}

}  // namespace

void ResetPumpStatus(Session& session, int32_t pumpCount) {
  session.pumpStatus.assign(StatusLength(pumpCount), 'F');
}

Result ReadPumpStatus(Session& session, char* buffer) {
  WriteLog("<AUT_ObtemStatus>");
  // The code alone, without the "Error: " line: a lost connection here is
  // an ordinary state of a poll, told by this operation's own line.
  Result result = OnRefusal(session.CallWithoutErrorLine(entry::TestConnection),
                            ">AUT_ObtemStatus< ", "Erro não está conectado ao servidor.");
  if (!result.ok()) return result;
  result = OnRefusal(session.Call(entry::ProcessEvents), ">AUT_ObtemStatus< ",
                     "Erro ao iniciar processamento de eventos.");
  if (!result.ok()) return result;
  int32_t count = 0;
  result = OnRefusal(session.Call(entry::GetEventsCount, &count), ">AUT_ObtemStatus< ",
                     "Erro não há eventos disponiveis.");
  if (!result.ok()) return result;
  // Exactly the events counted now; later ones wait for the next call.
  for (int32_t i = 0; i < count; ++i) {
    result = HandleNextEvent(session);
    if (!result.ok()) return result;
  }
  WriteHostText(buffer, session.pumpStatus);
  Log("OK.");
  return Result::Ok();
}

}  // namespace korvan
