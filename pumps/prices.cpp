#include "pumps/prices.h"

#include "client/TQXClient.h"
#include "base/log.h"
#include "base/number_texts.h"
#include "base/boundary.h"
#include "pumps/hose.h"

namespace {

// Reads one number of the hose whose identifier the host names and hands it
// over as text.
template <class Field>
bool ReadHoseNumber(const char* name, const char* failure,
                    const char* hostBico, char* buffer, Field field,
                    std::string& error) {
  WriteLog("<", name, ">");
  const std::string_view bico = HostText(hostBico);
  int32_t hoseId = 0;
  if (!TryStrToInt(bico, hoseId, error)) return false;
  HoseProperties hose;
  if (!ReadHose(hoseId, hose, error)) {
    if (error.empty()) WriteLog("<", name, "> ", failure, bico);
    return false;
  }
  FloatText text;
  FloatToText(hose.*field, Settings(), text);
  WriteHostText(buffer, text.view());
  WriteLog("<", name, "> OK");
  return true;
}

}  // namespace

bool ObtemEncerrante(const char* bico, char* buffer, std::string& error) {
  return ReadHoseNumber("AUT_ObtemEncerrante",
                        "Falha ao obter encerrante do bico ", bico, buffer,
                        &HoseProperties::totalizer, error);
}

bool ObtemPreco(const char* bico, char* buffer, std::string& error) {
  return ReadHoseNumber("AUT_ObtemPreco", "Falha ao obter preço do bico: ",
                        bico, buffer, &HoseProperties::price, error);
}

bool AlteraPreco(const char* bico, const char* preco, std::string& error) {
  WriteLog("<AUT_AlteraPreco>");
  // The price is read before anything is asked of the controller.
  double price = 0;
  int32_t ordinal = 0;
  if (!TryStrToFloat(HostText(preco), Settings(), price, error) ||
      !TryStrToInt(HostText(bico), ordinal, error))
    return false;
  auto getHoseByOrdinal = QX(GetHoseByOrdinal, error);
  if (!getHoseByOrdinal) return false;
  int32_t hoseId = 0;
  if (!CheckResult(getHoseByOrdinal(ordinal, &hoseId))) {
    WriteLog("Erro ao buscar dados GetHoseByOrdinal. ");
    return false;
  }
  auto setHosePrices = QX(SetHosePrices, error);
  if (!setHosePrices) return false;
  if (!CheckResult(setHosePrices(hoseId, 2, 1, price, price))) {
    WriteLog("<AUT_AlteraPreco> Falha na alteração de preço da bomba.");
    return false;
  }
  WriteLog("<AUT_AlteraPreco> OK");
  return true;
}
