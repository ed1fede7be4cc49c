#include "deliveries/confirmation.h"

#include <exception>

#include "client/TQXClient.h"
#include "base/log.h"
#include "base/number_texts.h"

namespace {
TUltimoAbastecimento ultimo;
}

const TUltimoAbastecimento& UltimoAbastecimento() { return ultimo; }

void AtribuiUltimoAbastecimentoBico(int32_t abastecimento, int32_t tipo,
                                    int32_t estado) {
  WriteLog("<AtribuiUltimoAbastecimentoBico>");
  if (LogIsOn()) {  // the texts are made only for the log
    WriteLog("Abastecimento = ", IntToStr(abastecimento));
    WriteLog("Tipo          = ", IntToStr(tipo));
    WriteLog("Estado        = ", IntToStr(estado));
  }
  if (abastecimento <= 0)
    WriteLog("<AtribuiUltimoAbastecimentoBico> Falha numero logico menor ou "
             "igual a zero.");
  else
    ultimo = TUltimoAbastecimento{abastecimento, tipo, estado};
  WriteLog("<AtribuiUltimoAbastecimentoBico> OK");
}

namespace {

bool Confirm() {
  WriteLog("<AUT_ConfirmaAbastecimento>");
  // Reserve first: a delivery is never cleared without it.
  if (!CheckResult(QX(LockDelivery)(ultimo.Abastecimento))) {
    WriteLog("<AUT_ConfirmaAbastecimento> Falha ao reservar ultimo "
             "abastecimento.");
    return false;
  }
  if (ultimo.Estado != 3 &&
      !CheckResult(QX(ClearDelivery)(ultimo.Abastecimento,
                                     static_cast<int16_t>(ultimo.Tipo)))) {
    WriteLog("<AUT_ConfirmaAbastecimento> Falha ao limpar abastecimento da "
             "memoria.");
    return false;
  }
  WriteLog("<AUT_ConfirmaAbastecimento> OK.");
  return true;
}

}  // namespace

bool ConfirmaAbastecimento() {
  try {
    return Confirm();
  } catch (const std::exception& error) {  // no session, or no entry point
    WriteLog("<AUT_ConfirmaAbastecimento> Falhou: ", error.what());
    return false;
  }
}
