#include "deliveries/nozzle_table.h"

#include "base/host_texts.h"
#include "base/log.h"
#include "base/number_texts.h"

namespace korvan {

namespace {

// A setting that is not a whole number gets its default, and the error is
// logged; the registration goes on either way.
int32_t ToIntegerOr(std::string_view text, int32_t fallback, std::string_view errorLine) {
  int32_t value = 0;
  if (ParseInteger(text, value)) return value;
  WriteLog(errorLine);
  return fallback;
}

// The text a hose identifier is matched as: the plain decimal form of a
// whole number, as IntegerText writes it ("-" for a negative one, no
// leading zero, no blank).
bool IsPlainDecimal(std::string_view text) {
  int32_t value = 0;
  return ParseInteger(text, value) && IntegerText(value) == text;
}

}  // namespace

void NozzleTable::Register(const char* logicalNumber, const char* pumpNumber,
                           const char* volumeDecimals, const char* priceDecimals,
                           const char* amountDecimals, const char* totalizerDecimals,
                           const char* configuration) {
  const std::string_view logical = HostText(logicalNumber);
  const std::string_view pump = HostText(pumpNumber);
  const std::string_view volume = HostText(volumeDecimals);
  const std::string_view price = HostText(priceDecimals);
  const std::string_view amount = HostText(amountDecimals);
  const std::string_view totalizer = HostText(totalizerDecimals);
  const std::string_view config = HostText(configuration);

  WriteLog("<AUT_RegistraBico>");
  WriteLog("NumeroLogico=", logical);
  WriteLog("NumeroBomba=", pump);
  WriteLog("CasasLitragem=", volume);
  WriteLog("CasasPreco=", price);
  WriteLog("CasasTotal=", amount);
  WriteLog("CasasEncerrante=", totalizer);
  WriteLog("Configuracao=", config);

  if (!IsPlainDecimal(logical))
    WriteLog("AVISO NUMERO LOGICO '", logical,
             "' NAO E UM INTEIRO DECIMAL SIMPLES: NENHUM ABASTECIMENTO SERA DESTE BICO");
  // A logical number registered before keeps its record and takes the new
  // settings: a host that registers its nozzles at every start must not
  // fill the table. Otherwise the first free record.
  int index = 0;
  for (int i = 1; index == 0 && i < kRecords; ++i)
    if (records_[i].registered && records_[i].logicalNumber == logical) index = i;
  for (int i = 1; index == 0 && i < kRecords; ++i)
    if (!records_[i].registered) index = i;
  if (index == 0) {
    // Its deliveries will be discarded as a nozzle's that is not registered.
    WriteLog("ERRO TABELA DE BICOS CHEIA: BICO '", logical, "' NAO REGISTRADO");
  } else {
    NozzleRecord& record = records_[index];
    record.logicalNumber = logical;
    record.pumpNumber = ToIntegerOr(pump, -1, "ERRO NA NUMERACAO DA BOMBA");
    record.volumeDecimals = ToIntegerOr(volume, 3, "ERRO NAS CASAS DA LITRAGEM");
    record.priceDecimals = ToIntegerOr(price, 3, "ERRO NAS CASAS DO PRECO");
    record.amountDecimals = ToIntegerOr(amount, 2, "ERRO NAS CASAS DO TOTAL");
    record.totalizerDecimals = ToIntegerOr(totalizer, 3, "ERRO NAS CASAS DO ENCERRANTE");
    record.configuration = config;
    record.registered = true;
  }
  // The host is told nothing either way.
  WriteLog("OK >AUT_RegistraBico<");
}

int NozzleTable::Find(std::string_view logicalNumber) const {
  // `registered` is not looked at: a free record's empty text never equals
  // the decimal text of a hose.
  for (int i = 1; i < kRecords; ++i)
    if (records_[i].logicalNumber == logicalNumber) return i;
  return 0;
}

}  // namespace korvan
