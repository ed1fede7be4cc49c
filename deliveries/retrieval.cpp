#include "deliveries/retrieval.h"

#include <optional>
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
bool EnsureConnection(Reconnect reconnect, std::string& error) {
  auto testConnection = QX(TestConnection, error);
  if (!testConnection) return false;
  if (CheckResult(testConnection())) return true;
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
bool DeliveriesCount(int32_t& count, std::string& error) {
  auto getDeliveriesCount = QX(GetDeliveriesCount, error);
  if (!getDeliveriesCount) return false;
  if (CheckResult(getDeliveriesCount(&count))) return true;
  Log("Falha ao retornar o numero de abastecimentos no servidor.");
  return false;
}

// The delivery at `ordinal` in the controller's list, or false with its log
// line.
bool DeliveryAt(int32_t ordinal, Delivery& d, std::string& error) {
  auto getDeliveryByOrdinal = QX(GetDeliveryByOrdinal, error);
  if (!getDeliveryByOrdinal) return false;
  if (!CheckResult(getDeliveryByOrdinal(ordinal, &d.id))) {
    Log("Sem abastecimento pendente. ");
    return false;
  }
  auto getDeliveryProperties = QX(GetDeliveryPropertiesEx2, error);
  if (!getDeliveryProperties) return false;
  int16_t priceLevel;
  int32_t reservedBy, attendantId, age, duration;
  double volume2, cleared, oldVolume2, oldValue, newVolume2, newValue;
  if (!CheckResult(getDeliveryProperties(
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

// The texts handed to the host that the log repeats. Each is made where it
// stays: a text copied right after its bytes were stored one by one stalls
// the processor.
struct DeliveryTexts {
  explicit DeliveryTexts(int32_t hoseId) : numeroLogico(IntToText(hoseId)) {}
  ShortText numeroLogico;
  FloatText volume, precoUnitario, valorTotal, encerranteInicial, encerranteFinal;
  double data = 0;
};

// Invalid: a text cannot be made (`error` says which); nothing is handed
// over.
enum class Outcome { HandOver, Discarded, Invalid };

// Fills the host's buffers, applying the volume rules.
Outcome WriteOutputs(const Delivery& d, const DeliveryBuffers& out,
                     DeliveryTexts& t, std::string& error) {
  const RegionalSettings& settings = Settings();
  WriteHostText(out.numeroLogico, t.numeroLogico.view());
  FloatToText(d.volume, settings, t.volume);
  const std::optional<int64_t> volume = TruncaCasas(3, t.volume);
  if (!volume) {
    error = OutOfFixedPointRange(d.volume);
    return Outcome::Invalid;
  }
  if (*volume <= 0) {
    WriteLog("O abastecimento veio litragem muito pequena");
    return Outcome::Discarded;
  }
  FloatToText(d.unitPrice, settings, t.precoUnitario);
  FloatToText(d.amount, settings, t.valorTotal);
  WriteHostText(out.volume, t.volume.view());
  WriteHostText(out.precoUnitario, t.precoUnitario.view());
  WriteHostText(out.valorTotal, t.valorTotal.view());
  switch (AjustaLitragem(t.volume, t.precoUnitario, t.valorTotal,
                         reengenhariaLitragem, settings, error)) {
    case VolumeVerdict::Accept: break;
    case VolumeVerdict::Discard: return Outcome::Discarded;
    case VolumeVerdict::Invalid: return Outcome::Invalid;
  }
  WriteHostText(out.volume, t.volume.view());
  const std::optional<double> midnight = DateAtMidnight(d.completed);
  if (!midnight) {
    error = InvalidDate(d.completed);
    return Outcome::Invalid;
  }
  t.data = *midnight;
  *out.data = t.data;
  ShortText hora;
  HoraText(d.completed, settings, hora);  // the date is valid
  FloatToText(d.startTotalizer, settings, t.encerranteInicial);
  FloatToText(d.endTotalizer, settings, t.encerranteFinal);
  const ShortText code = Hex64Text(d.code);
  WriteHostText(out.hora, hora.view());
  WriteHostText(out.encerranteInicial, t.encerranteInicial.view());
  WriteHostText(out.encerranteFinal, t.encerranteFinal.view());
  WriteHostText(out.text8, "0");
  WriteHostText(out.text9, code.view());
  WriteHostText(out.text10, "");
  return Outcome::HandOver;
}

void LogHandedOver(const Delivery& d, const DeliveryTexts& t) {
  if (!LogIsOn()) return;  // spares the date text
  WriteLog("AbastecimentoLogico = ", IntToStr(d.id));
  WriteLog("Numero Lógico       = ", t.numeroLogico.view());
  WriteLog("Volume              = ", t.volume.view());
  WriteLog("Preço Unitario      = ", t.precoUnitario.view());
  WriteLog("Valor Total         = ", t.valorTotal.view());
  WriteLog("Data                = ",
           ShortDateText(t.data, Settings()).value_or(""));
  ShortText hora;
  HoraText(d.completed, Settings(), hora);
  WriteLog("Hora                = ", hora.view());
  WriteLog("Encerrante Inicial  = ", t.encerranteInicial.view());
  WriteLog("Encerrante Final    = ", t.encerranteFinal.view());
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
Verdict FinishConfirmation(const Delivery& d, std::string& error) {
  Log(DeliveryName(d) + " ja confirmado pelo driver, limpando.");
  auto clearDelivery = QX(ClearDelivery, error);
  if (!clearDelivery) return Verdict::Stop;
  if (CheckResult(clearDelivery(d.id, d.type))) return Verdict::Cleared;
  Log(DeliveryName(d) + " nao foi limpo, seguindo para o proximo.");
  return Verdict::Skip;
}

Verdict Consider(const Delivery& d, const DeliveryBuffers& out,
                 std::string& error) {
  DeliveryTexts texts(d.hoseId);
  if (Nozzles().LocalizaBico(texts.numeroLogico.view()) == 0) {
    Log("Abastecimento de um bico não registrado.");
    Discard(d);
    return Verdict::Stop;
  }
  std::string invalid;
  switch (WriteOutputs(d, out, texts, invalid)) {
    case Outcome::HandOver: break;
    case Outcome::Discarded:
      Discard(d);
      return Verdict::Stop;
    case Outcome::Invalid:
      // Never report a delivery as handed over with fields left unwritten:
      // it stays in the controller, and the ones behind it are not held up.
      Log(DeliveryName(d) + " com dados invalidos (" + invalid +
          "), seguindo para o proximo.");
      return Verdict::Skip;
  }
  if (d.lockValue == kDriverClientId && d.state != 3)
    return FinishConfirmation(d, error);
  // Reserved by someone else, or by this driver for good: left where it is.
  if (d.lockValue != -1) return Verdict::Stop;
  AtribuiUltimoAbastecimentoBico(d.id, d.type, d.state);
  LogHandedOver(d, texts);
  Log("OK.");
  return Verdict::HandedOver;
}

bool Retrieve(const DeliveryBuffers& out, Reconnect reconnect,
              std::string& error) {
  if (!EnsureConnection(reconnect, error)) return false;
  int32_t count = 0;
  if (!DeliveriesCount(count, error)) return false;
  // The first delivery is always asked for; the walk past it stays within
  // the count, and every turn moves on or counts one delivery less.
  for (int32_t ordinal = 1, turn = 0;; ++turn) {
    if (turn > 0 && ordinal > count) {
      Log("Sem abastecimento pendente. ");
      return false;
    }
    Delivery d;
    if (!DeliveryAt(ordinal, d, error)) return false;
    switch (Consider(d, out, error)) {
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
  std::string error;  // no session, or no entry point
  if (Retrieve(out, reconnect, error)) return true;
  if (!error.empty()) Log("Falhou.");
  return false;
}
