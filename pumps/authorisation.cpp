#include "pumps/authorisation.h"

#include "client/TQXClient.h"
#include "base/log.h"
#include "base/number_texts.h"
#include "pumps/hose.h"

namespace {

using PumpCommand = QXResult(QX_CALL*)(int32_t pumpId);

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
bool CommandPumpOfHose(const std::string& bico, NozzleIs nozzleIs,
                       PumpCommand TQXClient::*command, const char* commandName,
                       const Texts& texts) {
  WriteLog(texts.entry);
  if (!CheckResult(QX(TestConnection)())) {
    WriteLog(texts.connectionFailed);
    return false;
  }
  const int32_t number = StrToInt(bico);
  int32_t hoseId = number;
  if (nozzleIs == NozzleIs::HoseOrdinal &&
      !CheckResult(QX(GetHoseByOrdinal)(number, &hoseId))) {
    WriteLog(texts.ordinalFailed);
    return false;
  }
  HoseProperties hose;
  if (!ReadHose(hoseId, hose)) {
    WriteLog(texts.hoseFailed);
    return false;
  }
  PumpCommand send = CurrentClient().Require(command, commandName);
  if (!CheckResult(send(hose.pumpId))) {
    WriteLog(texts.commandFailed);
    return false;
  }
  WriteLog(texts.done);
  return true;
}

using AllCommand = QXResult(QX_CALL*)();

bool CommandAllPumps(const char* entry, AllCommand TQXClient::*command,
                     const char* commandName, const char* failed,
                     const char* done) {
  WriteLog(entry);
  AllCommand send = CurrentClient().Require(command, commandName);
  if (!CheckResult(send())) {
    WriteLog(failed);
    return false;
  }
  WriteLog(done);
  return true;
}

}  // namespace

bool AutorizaAbastecimento(const std::string& bico) {
  return CommandPumpOfHose(
      bico, NozzleIs::HoseId, &TQXClient::Authorise, "Authorise",
      {"<AUT_AutorizaAbastecimento>",
       "<AUT_AutorizaAbastecimento> Falha ao Testar Conexão.", nullptr,
       "<AUT_AutorizaAbastecimento> Falha ao obter dados da mangueira.",
       "<AUT_AutorizaAbastecimento> Falha ao mandar autorização para bomba.",
       "<AUT_AutorizaAbastecimento> OK."});
}

bool BloqueiaBico(const std::string& bico) {
  return CommandPumpOfHose(
      bico, NozzleIs::HoseOrdinal, &TQXClient::TempStop, "TempStop",
      {"<AUT_BloqueiaBico>", "<AUT_BloqueiaBico> Falha ao Testar Conexão.",
       "<AUT_BloqueiaBico> Falha ao obter dados GetHoseByOrdinal.",
       "<AUT_BloqueiaBico> Falha ao obter dados da mangueira.",
       "<AUT_BloqueiaBico> Falha ao bloquear bomba.",
       "<AUT_BloqueiaBico> OK."});
}

bool DesbloqueiaBico(const std::string& bico) {
  return CommandPumpOfHose(
      bico, NozzleIs::HoseOrdinal, &TQXClient::ReAuthorise, "ReAuthorise",
      {"<AUT_DesbloqueiaBico>", "<AUT_DesbloqueiaBico> Falha ao Testar Conexão.",
       "Erro ao obter dados GetHoseByOrdinal. ",
       "<AUT_DesbloqueiaBico> Falha ao obter dados da mangueira.",
       "<AUT_DesbloqueiaBico> Falha ao desbloquear bomba.",
       "<AUT_DesbloqueiaBico> OK."});
}

bool BloqueiaTodosBicos() {
  return CommandAllPumps("<AUT_BloqueiaTodosBicos>", &TQXClient::AllStop,
                         "AllStop",
                         "Erro ao parar todas as bombas, verifique no LOG.",
                         "OK >AUT_BloqueiaTodosBicos<");
}

bool DesbloqueiaTodosBicos() {
  return CommandAllPumps(
      "<AUT_DesbloqueiaTodosBicos>", &TQXClient::AllReAuthorise,
      "AllReAuthorise", "Erro ao desbloquear todas as bombas, verifique no LOG.",
      "OK >AUT_DesbloqueiaTodosBicos<");
}
