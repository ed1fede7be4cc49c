#include "deliveries/confirmation.h"

#include "base/log.h"
#include "base/number_texts.h"

namespace korvan {

void RememberDelivery(Session& session, int32_t id, int32_t type, int32_t state) {
  WriteLog("<AtribuiUltimoAbastecimentoBico>");
  if (LogIsOn()) {  // the texts are made only for the log
    WriteLog("Abastecimento = ", IntegerText(id).view());
    WriteLog("Tipo          = ", IntegerText(type).view());
    WriteLog("Estado        = ", IntegerText(state).view());
  }
  if (id <= 0)
    WriteLog("<AtribuiUltimoAbastecimentoBico> Falha numero logico menor ou igual a zero.");
  else
    session.lastDelivery = RememberedDelivery{id, type, state};
  WriteLog("<AtribuiUltimoAbastecimentoBico> OK");
}

Result ConfirmDelivery(const Session& session) {
  WriteLog("<AUT_ConfirmaAbastecimento>");
  const RememberedDelivery& delivery = session.lastDelivery;
  // Reserved first: a delivery is never cleared without it.
  Result result = OnRefusal(session.Call(entry::LockDelivery, delivery.id),
                            "<AUT_ConfirmaAbastecimento> Falha ao reservar ultimo abastecimento.");
  if (!result.ok()) return result;
  if (delivery.state != kDeliveryReserved) {
    result = OnRefusal(
        session.Call(entry::ClearDelivery, delivery.id, static_cast<int16_t>(delivery.type)),
        "<AUT_ConfirmaAbastecimento> Falha ao limpar abastecimento da memoria.");
    if (!result.ok()) return result;
  }
  WriteLog("<AUT_ConfirmaAbastecimento> OK.");
  return Result::Ok();
}

}  // namespace korvan
