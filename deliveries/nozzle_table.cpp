#include "deliveries/nozzle_table.h"

#include "base/log.h"
#include "base/number_texts.h"

namespace {

std::string_view TextOrEmpty(const char* text) { return text ? std::string_view(text) : std::string_view(); }

// A setting that is not a whole number gets its default, and the error is
// logged; the registration goes on either way.
int32_t ToIntOr(std::string_view text, int32_t fallback, std::string_view errorLine) {
  int32_t value = 0;
  if (TryStrToInt(text, value)) return value;
  WriteLog(errorLine);
  return fallback;
}

}  // namespace

void NozzleTable::Register(const char* numeroLogico, const char* numeroBomba, const char* casasLitragem,
                           const char* casasPreco, const char* casasTotal, const char* casasEncerrante,
                           const char* configuracao) {
  const std::string_view logico = TextOrEmpty(numeroLogico);
  const std::string_view bomba = TextOrEmpty(numeroBomba);
  const std::string_view litragem = TextOrEmpty(casasLitragem);
  const std::string_view preco = TextOrEmpty(casasPreco);
  const std::string_view total = TextOrEmpty(casasTotal);
  const std::string_view encerrante = TextOrEmpty(casasEncerrante);
  const std::string_view config = TextOrEmpty(configuracao);

  WriteLog("<AUT_RegistraBico>");
  WriteLog("NumeroLogico=", logico);
  WriteLog("NumeroBomba=", bomba);
  WriteLog("CasasLitragem=", litragem);
  WriteLog("CasasPreco=", preco);
  WriteLog("CasasTotal=", total);
  WriteLog("CasasEncerrante=", encerrante);
  WriteLog("Configuracao=", config);

  for (int i = 1; i < kRecords; ++i) {
    TBico& record = records_[i];
    if (record.Registrado) continue;
    record.NumeroLogico = logico;
    record.NumeroBomba = ToIntOr(bomba, -1, "ERRO NA NUMERACAO DA BOMBA");
    record.CasasLitragem = ToIntOr(litragem, 3, "ERRO NAS CASAS DA LITRAGEM");
    record.CasasPreco = ToIntOr(preco, 3, "ERRO NAS CASAS DO PRECO");
    record.CasasTotal = ToIntOr(total, 2, "ERRO NAS CASAS DO TOTAL");
    record.CasasEncerrante = ToIntOr(encerrante, 3, "ERRO NAS CASAS DO ENCERRANTE");
    record.Configuracao = config;
    record.Registrado = true;
    break;
  }
  // Also when the table was full: the host is told nothing either way.
  WriteLog("OK >AUT_RegistraBico<");
}

namespace {

// Texts of a few characters, compared in place: through the C runtime's
// memcmp each comparison would be an import call.
bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace

int NozzleTable::LocalizaBico(std::string_view numeroLogico) const {
  // Registrado is not looked at: a free record's empty text never equals the
  // decimal text of a hose.
  for (int i = 1; i < kRecords; ++i) {
    if (SameText(records_[i].NumeroLogico, numeroLogico)) return i;
  }
  return 0;
}

const TBico& NozzleTable::Record(int index) const { return records_.at(static_cast<size_t>(index)); }

namespace {
// Built when the driver is loaded, not at the first call: nothing of the
// thread library is needed to guard its construction.
NozzleTable table;
}  // namespace

NozzleTable& Nozzles() { return table; }
