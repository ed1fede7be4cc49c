#include "pumps/authorisation.h"

#include "client/TQXClient.h"
#include "base/boundary.h"
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
bool CommandPumpOfHose(const char* hostBico, NozzleIs nozzleIs,
                       PumpCommand TQXClient::*command, const char* commandName,
                       const Texts& texts, std::string& error) {
  WriteLog(texts.entry);
  auto testConnection = QX(TestConnection, error);
  if (!testConnection) return false;
  if (!CheckResult(testConnection())) {
    WriteLog(texts.connectionFailed);
    return false;
  }
  int32_t number = 0;
  if (!TryStrToInt(HostText(hostBico), number, error)) return false;
  int32_t hoseId = number;
  if (nozzleIs == NozzleIs::HoseOrdinal) {
    auto getHoseByOrdinal = QX(GetHoseByOrdinal, error);
    if (!getHoseByOrdinal) return false;
    if (!CheckResult(getHoseByOrdinal(number, &hoseId))) {
      WriteLog(texts.ordinalFailed);
      return false;
    }
  }
  HoseProperties hose;
  if (!ReadHose(hoseId, hose, error)) {
    if (error.empty()) WriteLog(texts.hoseFailed);
    return false;
  }
  PumpCommand send = EntryPoint(command, commandName, error);
  if (!send) return false;
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
                     const char* done, std::string& error) {
  WriteLog(entry);
  AllCommand send = EntryPoint(command, commandName, error);
  if (!send) return false;
  if (!CheckResult(send())) {
    WriteLog(failed);
    return false;
  }
  WriteLog(done);
  return true;
}

}  // namespace

bool AutorizaAbastecimento(const char* bico, std::string& error) {
  return CommandPumpOfHose(
      bico, NozzleIs::HoseId, &TQXClient::Authorise, "Authorise",
      {"<AUT_AutorizaAbastecimento>",
       "<AUT_AutorizaAbastecimento> Falha ao Testar Conexão.", nullptr,
       "<AUT_AutorizaAbastecimento> Falha ao obter dados da mangueira.",
       "<AUT_AutorizaAbastecimento> Falha ao mandar autorização para bomba.",
       "<AUT_AutorizaAbastecimento> OK."},
      error);
}

bool BloqueiaBico(const char* bico, std::string& error) {
  return CommandPumpOfHose(
      bico, NozzleIs::HoseOrdinal, &TQXClient::TempStop, "TempStop",
      {"<AUT_BloqueiaBico>", "<AUT_BloqueiaBico> Falha ao Testar Conexão.",
       "<AUT_BloqueiaBico> Falha ao obter dados GetHoseByOrdinal.",
       "<AUT_BloqueiaBico> Falha ao obter dados da mangueira.",
       "<AUT_BloqueiaBico> Falha ao bloquear bomba.",
       "<AUT_BloqueiaBico> OK."},
      error);
}

bool DesbloqueiaBico(const char* bico, std::string& error) {
  return CommandPumpOfHose(
      bico, NozzleIs::HoseOrdinal, &TQXClient::ReAuthorise, "ReAuthorise",
      {"<AUT_DesbloqueiaBico>", "<AUT_DesbloqueiaBico> Falha ao Testar Conexão.",
       "Erro ao obter dados GetHoseByOrdinal. ",
       "<AUT_DesbloqueiaBico> Falha ao obter dados da mangueira.",
       "<AUT_DesbloqueiaBico> Falha ao desbloquear bomba.",
       "<AUT_DesbloqueiaBico> OK."},
      error);
}

bool BloqueiaTodosBicos(std::string& error) {
  return CommandAllPumps("<AUT_BloqueiaTodosBicos>", &TQXClient::AllStop,
                         "AllStop",
                         "Erro ao parar todas as bombas, verifique no LOG.",
                         "OK >AUT_BloqueiaTodosBicos<", error);
}

bool DesbloqueiaTodosBicos(std::string& error) {
  return CommandAllPumps(
      "<AUT_DesbloqueiaTodosBicos>", &TQXClient::AllReAuthorise,
      "AllReAuthorise", "Erro ao desbloquear todas as bombas, verifique no LOG.",
      "OK >AUT_DesbloqueiaTodosBicos<", error);
}
