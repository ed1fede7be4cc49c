#include "pumps/prices.h"

#include "base/host_texts.h"
#include "base/log.h"
#include "base/number_texts.h"
#include "pumps/hose.h"

namespace korvan {

namespace {

// What SetHosePrices' second and third arguments select; the client library
// defines their meaning, the driver has always sent these.
constexpr int32_t kPriceDurationType = 2;
constexpr int16_t kPriceType = 1;

// Reads one number of the hose whose identifier the host names and hands it
// over as text.
template <class Field>
Result ReadHoseNumber(const Session& session, const char* name, const char* failure,
                      const char* hostNozzle, char* buffer, Field field) {
  WriteLog("<", name, ">");
  const std::string_view nozzle = HostText(hostNozzle);
  int32_t hoseId = 0;
  if (!ParseInteger(nozzle, hoseId)) return Result::Invalid(nozzle, kNotAnInteger);
  HoseProperties hose;
  const Result read = OnRefusal(ReadHose(session, hoseId, hose), "<", name, "> ", failure, nozzle);
  if (!read.ok()) return read;
  NumberText text;
  FormatNumber(hose.*field, session.regional, text);
  WriteHostText(buffer, text.view());
  WriteLog("<", name, "> OK");
  return Result::Ok();
}

}  // namespace

Result ReadTotalizer(const Session& session, const char* nozzle, char* buffer) {
  return ReadHoseNumber(session, "AUT_ObtemEncerrante", "Falha ao obter encerrante do bico ",
                        nozzle, buffer, &HoseProperties::totalizer);
}

Result ReadPrice(const Session& session, const char* nozzle, char* buffer) {
  return ReadHoseNumber(session, "AUT_ObtemPreco", "Falha ao obter preço do bico: ", nozzle, buffer,
                        &HoseProperties::price);
}

Result ChangePrice(const Session& session, const char* hostNozzle, const char* hostPrice) {
  WriteLog("<AUT_AlteraPreco>");
  // The price is read before anything is asked of the controller.
  const std::string_view priceText = HostText(hostPrice), nozzle = HostText(hostNozzle);
  double price = 0;
  const char* why = nullptr;
  if (!ParseNumber(priceText, session.regional, price, why)) return Result::Invalid(priceText, why);
  int32_t ordinal = 0;
  if (!ParseInteger(nozzle, ordinal)) return Result::Invalid(nozzle, kNotAnInteger);
  int32_t hoseId = 0;
  Result result = OnRefusal(session.Call(entry::GetHoseByOrdinal, ordinal, &hoseId),
                            "Erro ao buscar dados GetHoseByOrdinal. ");
  if (!result.ok()) return result;
  result = OnRefusal(
      session.Call(entry::SetHosePrices, hoseId, kPriceDurationType, kPriceType, price, price),
      "<AUT_AlteraPreco> Falha na alteração de preço da bomba.");
  if (!result.ok()) return result;
  WriteLog("<AUT_AlteraPreco> OK");
  return Result::Ok();
}

}  // namespace korvan
