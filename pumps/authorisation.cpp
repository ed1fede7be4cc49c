#include "pumps/authorisation.h"

#include "base/host_texts.h"
#include "base/log.h"
#include "base/number_texts.h"
#include "pumps/hose.h"

namespace korvan {

namespace {

using PumpCommand = EntryPoint<QXResult(QX_CALL*)(int32_t pumpId)>;
using AllPumpsCommand = EntryPoint<QXResult(QX_CALL*)()>;

// How the host's nozzle number reaches a hose.
enum class NozzleIs { HoseId, HoseOrdinal };

// The log texts of one single-nozzle operation.
struct Texts {
  const char* entry;
  const char* connectionFailed;
  const char* ordinalFailed;
  const char* hoseFailed;
  const char* commandFailed;
  const char* done;
};

// Finds the hose the host names, then sends the command to its pump. Each
// failed step ends the operation before the next client call.
Result CommandPumpOfHose(const Session& session, const char* hostNozzle, NozzleIs nozzleIs,
                         PumpCommand command, const Texts& texts) {
  WriteLog(texts.entry);
  Result result = OnRefusal(session.Call(entry::TestConnection), texts.connectionFailed);
  if (!result.ok()) return result;
  // Converted only once the connection is known to be there.
  const std::string_view nozzle = HostText(hostNozzle);
  int32_t number = 0;
  if (!ParseInteger(nozzle, number)) return Result::Invalid(nozzle, kNotAnInteger);
  int32_t hoseId = number;
  if (nozzleIs == NozzleIs::HoseOrdinal) {
    result = OnRefusal(session.Call(entry::GetHoseByOrdinal, number, &hoseId), texts.ordinalFailed);
    if (!result.ok()) return result;
  }
  HoseProperties hose;
  result = OnRefusal(ReadHose(session, hoseId, hose), texts.hoseFailed);
  if (!result.ok()) return result;
  result = OnRefusal(session.Call(command, hose.pumpId), texts.commandFailed);
  if (!result.ok()) return result;
  WriteLog(texts.done);
  return Result::Ok();
}

Result CommandAllPumps(const Session& session, const char* entryLine, AllPumpsCommand command,
                       const char* failed, const char* done) {
  WriteLog(entryLine);
  const Result result = OnRefusal(session.Call(command), failed);
  if (!result.ok()) return result;
  WriteLog(done);
  return Result::Ok();
}

}  // namespace

Result AuthoriseDelivery(const Session& session, const char* nozzle) {
  return CommandPumpOfHose(
      session, nozzle, NozzleIs::HoseId, entry::Authorise,
      {"<AUT_AutorizaAbastecimento>", "<AUT_AutorizaAbastecimento> Falha ao Testar Conexão.",
       nullptr, "<AUT_AutorizaAbastecimento> Falha ao obter dados da mangueira.",
       "<AUT_AutorizaAbastecimento> Falha ao mandar autorização para bomba.",
       "<AUT_AutorizaAbastecimento> OK."});
}

Result LockNozzle(const Session& session, const char* nozzle) {
  return CommandPumpOfHose(
      session, nozzle, NozzleIs::HoseOrdinal, entry::TempStop,
      {"<AUT_BloqueiaBico>", "<AUT_BloqueiaBico> Falha ao Testar Conexão.",
       "<AUT_BloqueiaBico> Falha ao obter dados GetHoseByOrdinal.",
       "<AUT_BloqueiaBico> Falha ao obter dados da mangueira.",
       "<AUT_BloqueiaBico> Falha ao bloquear bomba.", "<AUT_BloqueiaBico> OK."});
}

Result UnlockNozzle(const Session& session, const char* nozzle) {
  return CommandPumpOfHose(
      session, nozzle, NozzleIs::HoseOrdinal, entry::ReAuthorise,
      {"<AUT_DesbloqueiaBico>", "<AUT_DesbloqueiaBico> Falha ao Testar Conexão.",
       "Erro ao obter dados GetHoseByOrdinal. ",
       "<AUT_DesbloqueiaBico> Falha ao obter dados da mangueira.",
       "<AUT_DesbloqueiaBico> Falha ao desbloquear bomba.", "<AUT_DesbloqueiaBico> OK."});
}

Result LockAllPumps(const Session& session) {
  return CommandAllPumps(session, "<AUT_BloqueiaTodosBicos>", entry::AllStop,
                         "Erro ao parar todas as bombas, verifique no LOG.",
                         "OK >AUT_BloqueiaTodosBicos<");
}

Result UnlockAllPumps(const Session& session) {
  return CommandAllPumps(session, "<AUT_DesbloqueiaTodosBicos>", entry::AllReAuthorise,
                         "Erro ao desbloquear todas as bombas, verifique no LOG.",
                         "OK >AUT_DesbloqueiaTodosBicos<");
}

}  // namespace korvan
