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

  for (int i = 1; i < kRecords; ++i) {
    NozzleRecord& record = records_[i];
    if (record.registered) continue;
    record.logicalNumber = logical;
    record.pumpNumber = ToIntegerOr(pump, -1, "ERRO NA NUMERACAO DA BOMBA");
    record.volumeDecimals = ToIntegerOr(volume, 3, "ERRO NAS CASAS DA LITRAGEM");
    record.priceDecimals = ToIntegerOr(price, 3, "ERRO NAS CASAS DO PRECO");
    record.amountDecimals = ToIntegerOr(amount, 2, "ERRO NAS CASAS DO TOTAL");
    record.totalizerDecimals = ToIntegerOr(totalizer, 3, "ERRO NAS CASAS DO ENCERRANTE");
    record.configuration = config;
    record.registered = true;
    break;
  }
  // Also when the table was full: the host is told nothing either way.
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
