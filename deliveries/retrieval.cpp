#include "deliveries/retrieval.h"

#include <exception>
#include <string>
#include <string_view>

#include "client/TQXClient.h"
#include "deliveries/confirmation.h"
#include "deliveries/delivery_texts.h"
#include "deliveries/nozzle_table.h"
#include "deliveries/volume_rules.h"
#include "base/log.h"
#include "base/boundary.h"

namespace {

const char kName[] = "<AUT_ObtemAbastecimento>";

bool reengenhariaLitragem = false;

// The fields of a finished delivery that the driver uses.
struct Delivery {
  int32_t id = 0;
  int32_t hoseId = 0;
  int16_t state = 0;
  int16_t type = 0;
  double volume = 0;
  double unitPrice = 0;
  double amount = 0;
  double completed = 0;  // OLE Automation date and time
  int32_t lockValue = 0;
  double startTotalizer = 0;
  double endTotalizer = 0;
  int64_t code = 0;
};

void Log(std::string_view what) { WriteLog(kName, " ", what); }

// Tests the connection and, when it is lost, logs on again with the last
// start's arguments. False when there is no connection to work with.
bool EnsureConnection(Reconnect reconnect) {
  if (CheckResult(QX(TestConnection)())) return true;
  Log("Falha TestConnection.");
  Log("Tentando Reconectar ao QXServerCE.");
  if (!reconnect()) {
    Log("Falha ao reconectar QXServerCE .");
    return false;
  }
  Log("Reconectado ao QXServerCE com sucesso.");
  return true;
}

// The number of finished deliveries, or false with its log line.
bool DeliveriesCount(int32_t& count) {
  if (CheckResult(QX(GetDeliveriesCount)(&count))) return true;
  Log("Falha ao retornar o numero de abastecimentos no servidor.");
  return false;
}

// The delivery at `ordinal` in the controller's list, or false with its log
// line.
bool DeliveryAt(int32_t ordinal, Delivery& d) {
  if (!CheckResult(QX(GetDeliveryByOrdinal)(ordinal, &d.id))) {
    Log("Sem abastecimento pendente. ");
    return false;
  }
  int16_t priceLevel;
  int32_t reservedBy, attendantId, age, duration;
  double volume2, cleared, oldVolume2, oldValue, newVolume2, newValue;
  if (!CheckResult(QX(GetDeliveryPropertiesEx2)(
          d.id, &d.hoseId, &d.state, &d.type, &d.volume, &priceLevel,
          &d.unitPrice, &d.amount, &volume2, &d.completed, &d.lockValue,
          &reservedBy, &attendantId, &age, &cleared, &d.startTotalizer,
          &oldVolume2, &oldValue, &d.endTotalizer, &newVolume2, &newValue,
          &d.code, &duration))) {
    Log("Falha obter dados do abastecimento.");
    return false;
  }
  return true;
}

// Remembers the delivery and confirms it as the host would.
void Discard(const Delivery& d) {
  AtribuiUltimoAbastecimentoBico(d.id, d.type, d.state);
  ConfirmaAbastecimento();  // a refusal is its own log line; the call gives 0
}

// A text whose making failed is handed over empty.
template <class Make>
std::string Guarded(Make make) {
  try {
    return make();
  } catch (const std::exception&) {
    return std::string();
  }
}

// The texts handed to the host.
struct DeliveryTexts {
  std::string numeroLogico, volume, precoUnitario, valorTotal, hora,
      encerranteInicial, encerranteFinal, code;
  double data = 0;
};

enum class Outcome { HandOver, Discarded };

// Fills the host's buffers, applying the volume rules. Throws when a text
// cannot be made; the caller then hands nothing over.
Outcome WriteOutputs(const Delivery& d, const DeliveryBuffers& out,
                     DeliveryTexts& t) {
  const RegionalSettings& settings = Settings();
  t.numeroLogico = Guarded([&] { return IntToStr(d.hoseId); });
  WriteHostText(out.numeroLogico, t.numeroLogico);
  if (TruncaCasas(3, d.volume) <= 0) {
    WriteLog("O abastecimento veio litragem muito pequena");
    return Outcome::Discarded;
  }
  t.volume = Guarded([&] { return FloatToStr(d.volume, settings); });
  t.precoUnitario = Guarded([&] { return FloatToStr(d.unitPrice, settings); });
  t.valorTotal = Guarded([&] { return FloatToStr(d.amount, settings); });
  WriteHostText(out.volume, t.volume);
  WriteHostText(out.precoUnitario, t.precoUnitario);
  WriteHostText(out.valorTotal, t.valorTotal);
  if (AjustaLitragem(t.volume, t.precoUnitario, t.valorTotal,
                     reengenhariaLitragem,
                     settings) == VolumeVerdict::Discard)
    return Outcome::Discarded;
  WriteHostText(out.volume, t.volume);
  t.data = DateAtMidnight(d.completed);
  *out.data = t.data;
  t.hora = Guarded([&] { return HoraText(d.completed, settings); });
  t.encerranteInicial =
      Guarded([&] { return FloatToStr(d.startTotalizer, settings); });
  t.encerranteFinal =
      Guarded([&] { return FloatToStr(d.endTotalizer, settings); });
  t.code = Guarded([&] { return Hex64Text(d.code); });
  WriteHostText(out.hora, t.hora);
  WriteHostText(out.encerranteInicial, t.encerranteInicial);
  WriteHostText(out.encerranteFinal, t.encerranteFinal);
  WriteHostText(out.text8, "0");
  WriteHostText(out.text9, t.code);
  WriteHostText(out.text10, "");
  return Outcome::HandOver;
}

void LogHandedOver(const Delivery& d, const DeliveryTexts& t) {
  if (!LogIsOn()) return;  // spares the date text
  WriteLog("AbastecimentoLogico = ", IntToStr(d.id));
  WriteLog("Numero Lógico       = ", t.numeroLogico);
  WriteLog("Volume              = ", t.volume);
  WriteLog("Preço Unitario      = ", t.precoUnitario);
  WriteLog("Valor Total         = ", t.valorTotal);
  WriteLog("Data                = ",
           Guarded([&] { return ShortDateText(t.data, Settings()); }));
  WriteLog("Hora                = ", t.hora);
  WriteLog("Encerrante Inicial  = ", t.encerranteInicial);
  WriteLog("Encerrante Final    = ", t.encerranteFinal);
  WriteLog("Status da bomba     = ", IntToStr(d.state));
}

std::string DeliveryName(const Delivery& d) {
  return "Abastecimento " + IntToStr(d.id);
}

// What a poll does with one delivery of the list.
enum class Verdict {
  HandedOver,  // the host has it
  Stop,        // discarded, or left to whoever holds it
  Skip,        // stays where it is; the next one is looked at
  Cleared,     // gone from the list; the next one took its place
};

// A delivery locked by this driver and not reserved for good: the host
// stored it and confirmed it, and the clear was refused or never sent.
// Finishing it keeps it from standing in front of the others for good.
Verdict FinishConfirmation(const Delivery& d) {
  Log(DeliveryName(d) + " ja confirmado pelo driver, limpando.");
  if (CheckResult(QX(ClearDelivery)(d.id, d.type))) return Verdict::Cleared;
  Log(DeliveryName(d) + " nao foi limpo, seguindo para o proximo.");
  return Verdict::Skip;
}

Verdict Consider(const Delivery& d, const DeliveryBuffers& out) {
  if (Nozzles().LocalizaBico(IntToStr(d.hoseId)) == 0) {
    Log("Abastecimento de um bico não registrado.");
    Discard(d);
    return Verdict::Stop;
  }
  DeliveryTexts texts;
  try {
    if (WriteOutputs(d, out, texts) == Outcome::Discarded) {
      Discard(d);
      return Verdict::Stop;
    }
  } catch (const std::exception& error) {
    // Never report a delivery as handed over with fields left unwritten: it
    // stays in the controller, and the ones behind it are not held up.
    Log(DeliveryName(d) + " com dados invalidos (" + error.what() +
        "), seguindo para o proximo.");
    return Verdict::Skip;
  }
  if (d.lockValue == kDriverClientId && d.state != 3)
    return FinishConfirmation(d);
  // Reserved by someone else, or by this driver for good: left where it is.
  if (d.lockValue != -1) return Verdict::Stop;
  AtribuiUltimoAbastecimentoBico(d.id, d.type, d.state);
  LogHandedOver(d, texts);
  Log("OK.");
  return Verdict::HandedOver;
}

bool Retrieve(const DeliveryBuffers& out, Reconnect reconnect) {
  if (!EnsureConnection(reconnect)) return false;
  int32_t count = 0;
  if (!DeliveriesCount(count)) return false;
  // The first delivery is always asked for; the walk past it stays within
  // the count, and every turn moves on or counts one delivery less.
  for (int32_t ordinal = 1, turn = 0;; ++turn) {
    if (turn > 0 && ordinal > count) {
      Log("Sem abastecimento pendente. ");
      return false;
    }
    Delivery d;
    if (!DeliveryAt(ordinal, d)) return false;
    switch (Consider(d, out)) {
      case Verdict::HandedOver: return true;
      case Verdict::Stop: return false;
      case Verdict::Skip: ++ordinal; break;
      case Verdict::Cleared: --count; break;
    }
  }
}

}  // namespace

void SetReengenhariaLitragem(bool on) { reengenhariaLitragem = on; }

bool ObtemAbastecimento(const DeliveryBuffers& out, Reconnect reconnect) {
  WriteLog(kName);
  try {
    return Retrieve(out, reconnect);
  } catch (const std::exception&) {
    Log("Falhou.");
    return false;
  }
}
