#include "pumps/prices.h"

#include <exception>

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
                    const std::string& bico, char* buffer, Field field) {
  WriteLog("<", name, ">");
  HoseProperties hose;
  if (!ReadHose(StrToInt(bico), hose)) {
    WriteLog("<", name, "> ", failure, bico);
    return false;
  }
  std::string text;
  try {
    text = FloatToStr(hose.*field, Settings());
  } catch (const std::exception&) {
    text.clear();
  }
  WriteHostText(buffer, text);
  WriteLog("<", name, "> OK");
  return true;
}

}  // namespace

bool ObtemEncerrante(const std::string& bico, char* buffer) {
  return ReadHoseNumber("AUT_ObtemEncerrante",
                        "Falha ao obter encerrante do bico ", bico, buffer,
                        &HoseProperties::totalizer);
}

bool ObtemPreco(const std::string& bico, char* buffer) {
  return ReadHoseNumber("AUT_ObtemPreco", "Falha ao obter preço do bico: ",
                        bico, buffer, &HoseProperties::price);
}

bool AlteraPreco(const std::string& bico, const std::string& preco) {
  WriteLog("<AUT_AlteraPreco>");
  // The price is read before anything is asked of the controller.
  double price = StrToFloat(preco, Settings());
  int32_t ordinal = StrToInt(bico);
  int32_t hoseId = 0;
  if (!CheckResult(QX(GetHoseByOrdinal)(ordinal, &hoseId))) {
    WriteLog("Erro ao buscar dados GetHoseByOrdinal. ");
    return false;
  }
  if (!CheckResult(QX(SetHosePrices)(hoseId, 2, 1, price, price))) {
    WriteLog("<AUT_AlteraPreco> Falha na alteração de preço da bomba.");
    return false;
  }
  WriteLog("<AUT_AlteraPreco> OK");
  return true;
}
