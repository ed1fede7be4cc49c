#include "deliveries/retrieval.h"

#include <optional>
#include <string>
#include <string_view>

#include "base/host_texts.h"
#include "base/log.h"
#include "deliveries/confirmation.h"
#include "deliveries/delivery_texts.h"
#include "deliveries/volume_rules.h"

namespace korvan {

namespace {

const char kName[] = "<AUT_ObtemAbastecimento>";

// The lock value of a delivery that no client holds.
constexpr int32_t kNotLocked = -1;

// The fields of a finished delivery that the driver uses.
struct Delivery {
  int32_t id{};
  int32_t hoseId{};
  int16_t state{};
  int16_t type{};
  double volume{};
  double unitPrice{};
  double amount{};
  double completed{};  // OLE Automation date and time
  int32_t lockValue{};
  double startTotalizer{};
  double endTotalizer{};
  int64_t code{};
};

void Log(std::string_view what) { WriteLog(kName, " ", what); }

// Tests the connection and, when it is lost, logs on again with the last
// start's arguments. Anything but Ok: there is no connection to work with.
Result EnsureConnection(Session& session, ReconnectFunction reconnect) {
  const Result tested = session.Call(entry::TestConnection);
  if (!tested.refused()) return tested;
  Log("Falha TestConnection.");
  Log("Tentando Reconectar ao QXServerCE.");
  if (!reconnect(session)) {
    Log("Falha ao reconectar QXServerCE .");
    return tested;
  }
  Log("Reconectado ao QXServerCE com sucesso.");
  return Result::Ok();
}

// The number of finished deliveries, with its log line on a refusal.
Result DeliveriesCount(const Session& session, int32_t& count) {
  return OnRefusal(session.Call(entry::GetDeliveriesCount, &count), kName,
                   " Falha ao retornar o numero de abastecimentos no servidor.");
}

// The delivery at `ordinal` in the controller's list, with its log line on a
// refusal.
Result DeliveryAt(const Session& session, int32_t ordinal, Delivery& d) {
  Result result = OnRefusal(session.Call(entry::GetDeliveryByOrdinal, ordinal, &d.id), kName,
                            " Sem abastecimento pendente. ");
  if (!result.ok()) return result;
  int16_t priceLevel;
  int32_t reservedBy, attendantId, age, duration;
  double volume2, cleared, oldVolume2, oldValue, newVolume2, newValue;
  return OnRefusal(
      session.Call(entry::GetDeliveryPropertiesEx2, d.id, &d.hoseId, &d.state, &d.type, &d.volume,
                   &priceLevel, &d.unitPrice, &d.amount, &volume2, &d.completed, &d.lockValue,
                   &reservedBy, &attendantId, &age, &cleared, &d.startTotalizer, &oldVolume2,
                   &oldValue, &d.endTotalizer, &newVolume2, &newValue, &d.code, &duration),
      kName, " Falha obter dados do abastecimento.");
}

// Remembers the delivery and confirms it as the host would.
void Discard(Session& session, const Delivery& d) {
  RememberDelivery(session, d.id, d.type, d.state);
  // A refusal is told by the confirmation's own lines; the poll gives 0
  // either way.
  TellCause("<AUT_ConfirmaAbastecimento> Falhou: ", ConfirmDelivery(session));
}

// The texts handed to the host that the log repeats. Each is made where it
// stays, and read back from there.
struct DeliveryTexts {
  explicit DeliveryTexts(int32_t hoseId) : logicalNumber(IntegerText(hoseId)) {}
  ShortText logicalNumber;
  NumberText volume, unitPrice, amount, startTotalizer, endTotalizer;
  double date{};
};

// Invalid: a text cannot be made (`error` says which); nothing is handed
// over.
enum class Outcome { HandOver, Discarded, Invalid };

// Fills the host's buffers, applying the volume rules.
Outcome WriteOutputs(const Session& session, const Delivery& d, const DeliveryBuffers& out,
                     DeliveryTexts& t, std::string& error) {
  const RegionalSettings& settings = session.regional;
  WriteHostText(out.logicalNumber, t.logicalNumber.view());
  FormatNumber(d.volume, settings, t.volume);
  const std::optional<int64_t> volume = CutToDecimals(3, t.volume);
  if (!volume) {
    error = OutOfFixedPointRange(d.volume);
    return Outcome::Invalid;
  }
  if (*volume <= 0) {
    WriteLog("O abastecimento veio litragem muito pequena");
    return Outcome::Discarded;
  }
  FormatNumber(d.unitPrice, settings, t.unitPrice);
  FormatNumber(d.amount, settings, t.amount);
  WriteHostText(out.volume, t.volume.view());
  WriteHostText(out.unitPrice, t.unitPrice.view());
  WriteHostText(out.amount, t.amount.view());
  switch (ApplyVolumeRules(t.volume, t.unitPrice, t.amount, session.reengineerVolume, settings,
                           error)) {
    case VolumeVerdict::Accept:
      break;
    case VolumeVerdict::Discard:
      return Outcome::Discarded;
    case VolumeVerdict::Invalid:
      return Outcome::Invalid;
  }
  WriteHostText(out.volume, t.volume.view());
  const std::optional<double> midnight = DateAtMidnight(d.completed);
  if (!midnight) {
    error = InvalidDate(d.completed);
    return Outcome::Invalid;
  }
  t.date = *midnight;
  *out.date = t.date;
  ShortText time;
  TimeText(d.completed, settings, time);  // the date is valid
  FormatNumber(d.startTotalizer, settings, t.startTotalizer);
  FormatNumber(d.endTotalizer, settings, t.endTotalizer);
  const ShortText code = Hex64Text(d.code);
  WriteHostText(out.time, time.view());
  WriteHostText(out.startTotalizer, t.startTotalizer.view());
  WriteHostText(out.endTotalizer, t.endTotalizer.view());
  WriteHostText(out.text8, "0");
  WriteHostText(out.text9, code.view());
  WriteHostText(out.text10, "");
  return Outcome::HandOver;
}

void LogHandedOver(const Session& session, const Delivery& d, const DeliveryTexts& t) {
  if (!LogIsOn()) return;  // spares the date text
  WriteLog("AbastecimentoLogico = ", IntegerText(d.id).view());
  WriteLog("Numero Lógico       = ", t.logicalNumber.view());
  WriteLog("Volume              = ", t.volume.view());
  WriteLog("Preço Unitario      = ", t.unitPrice.view());
  WriteLog("Valor Total         = ", t.amount.view());
  WriteLog("Data                = ", ShortDateText(t.date, session.regional).value_or(""));
  ShortText time;
  TimeText(d.completed, session.regional, time);
  WriteLog("Hora                = ", time.view());
  WriteLog("Encerrante Inicial  = ", t.startTotalizer.view());
  WriteLog("Encerrante Final    = ", t.endTotalizer.view());
  WriteLog("Status da bomba     = ", IntegerText(d.state).view());
}

std::string DeliveryName(const Delivery& d) {
  return "Abastecimento " + std::string(IntegerText(d.id).view());
}

// What a poll does with one delivery of the list.
enum class Verdict {
  HandedOver,  // the host has it
  Stop,        // discarded, or left to whoever holds it
  Skip,        // stays where it is; the next one is looked at
  Cleared,     // gone from the list; the next one took its place
  Failed,      // a client call failed: `failure` says how
};

// A delivery locked by this driver and not reserved for good: the host
// stored it and confirmed it, and the clear was refused or never sent.
// Finishing it keeps it from standing in front of the others for good.
Verdict FinishConfirmation(const Session& session, const Delivery& d, Result& failure) {
  Log(DeliveryName(d) + " ja confirmado pelo driver, limpando.");
  const Result cleared = session.Call(entry::ClearDelivery, d.id, d.type);
  if (cleared.ok()) return Verdict::Cleared;
  if (!cleared.refused()) {
    failure = cleared;
    return Verdict::Failed;
  }
  Log(DeliveryName(d) + " nao foi limpo, seguindo para o proximo.");
  return Verdict::Skip;
}

Verdict Consider(Session& session, const NozzleTable& nozzles, const Delivery& d,
                 const DeliveryBuffers& out, Result& failure) {
  DeliveryTexts texts(d.hoseId);
  if (nozzles.Find(texts.logicalNumber.view()) == 0) {
    Log("Abastecimento de um bico não registrado.");
    Discard(session, d);
    return Verdict::Stop;
  }
  std::string invalid;
  switch (WriteOutputs(session, d, out, texts, invalid)) {
    case Outcome::HandOver:
      break;
    case Outcome::Discarded:
      Discard(session, d);
      return Verdict::Stop;
    case Outcome::Invalid:
      // Never report a delivery as handed over with fields left unwritten:
      // it stays in the controller, and the ones behind it are not held up.
      Log(DeliveryName(d) + " com dados invalidos (" + invalid + "), seguindo para o proximo.");
      return Verdict::Skip;
  }
  if (d.lockValue == kDriverClientId && d.state != kDeliveryReserved)
    return FinishConfirmation(session, d, failure);
  // Reserved by someone else, or by this driver for good: left where it is.
  if (d.lockValue != kNotLocked) return Verdict::Stop;
  RememberDelivery(session, d.id, d.type, d.state);
  LogHandedOver(session, d, texts);
  Log("OK.");
  return Verdict::HandedOver;
}

Result Walk(Session& session, const NozzleTable& nozzles, const DeliveryBuffers& out,
            ReconnectFunction reconnect) {
  Result result = EnsureConnection(session, reconnect);
  int32_t count = 0;
  if (result.ok()) result = DeliveriesCount(session, count);
  if (!result.ok()) return result;
  // The first delivery is always asked for; the walk past it stays within
  // the count, and every turn moves on or counts one delivery less.
  for (int32_t ordinal = 1, turn = 0;; ++turn) {
    if (turn > 0 && ordinal > count) {
      Log("Sem abastecimento pendente. ");
      return Result::Refused(0);
    }
    Delivery d;
    result = DeliveryAt(session, ordinal, d);
    if (!result.ok()) return result;
    switch (Consider(session, nozzles, d, out, result)) {
      case Verdict::HandedOver:
        return Result::Ok();
      case Verdict::Stop:
        return Result::Refused(0);
      case Verdict::Failed:
        return result;
      case Verdict::Skip:
        ++ordinal;
        break;
      case Verdict::Cleared:
        --count;
        break;
    }
  }
}

}  // namespace

Result RetrieveDelivery(Session& session, const NozzleTable& nozzles, const DeliveryBuffers& out,
                        ReconnectFunction reconnect) {
  WriteLog(kName);
  const Result result = Walk(session, nozzles, out, reconnect);
  // No session, or an entry point missing: the bare "Falhou." is this
  // operation's line, as hosts' log readers know it; the cause is dropped on
  // purpose, having shown already when the binding was made.
  if (result.untold()) Log("Falhou.");
  return result.ok() ? result : Result::Refused(result.code());
}

}  // namespace korvan
