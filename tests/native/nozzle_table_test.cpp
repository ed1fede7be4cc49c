#include "deliveries/nozzle_table.h"

#include <gtest/gtest.h>

#include "log_capture.h"

namespace {

using namespace korvan;

using Lines = std::vector<std::string>;

// The lines that log the arguments, then `more`.
Lines ArgumentLines(const std::string& logico, const std::string& bomba,
                    const std::string& litragem, const std::string& preco, const std::string& total,
                    const std::string& encerrante, const std::string& config,
                    const Lines& more = {}) {
  // clang-format off
  Lines lines = {"<AUT_RegistraBico>", "NumeroLogico=" + logico, "NumeroBomba=" + bomba,
                 "CasasLitragem=" + litragem, "CasasPreco=" + preco, "CasasTotal=" + total,
                 "CasasEncerrante=" + encerrante, "Configuracao=" + config};
  // clang-format on
  lines.insert(lines.end(), more.begin(), more.end());
  return lines;
}

std::string kNotPlain(const std::string& logico) {
  return "AVISO NUMERO LOGICO '" + logico +
         "' NAO E UM INTEIRO DECIMAL SIMPLES: NENHUM ABASTECIMENTO SERA DESTE BICO";
}

// A record's fields in order, as one text.
std::string Fields(const NozzleRecord& r) {
  return std::to_string(r.registered) + " " + r.logicalNumber + " " + std::to_string(r.pumpNumber) +
         " " + std::to_string(r.volumeDecimals) + " " + std::to_string(r.priceDecimals) + " " +
         std::to_string(r.amountDecimals) + " " + std::to_string(r.totalizerDecimals) + " " +
         r.configuration;
}

TEST(NozzleTable, RegistersInRecordOneAndLogsEveryArgument) {
  NozzleTable table;
  table.Register("12", "3", "3", "3", "2", "3", "Diesel");
  EXPECT_EQ(TakeLogLines(),
            ArgumentLines("12", "3", "3", "3", "2", "3", "Diesel", {"OK >AUT_RegistraBico<"}));
  EXPECT_EQ(Fields(table.Record(1)), "1 12 3 3 3 2 3 Diesel");
  EXPECT_FALSE(table.Record(0).registered);
  EXPECT_EQ(table.Find("12"), 1);
}

// Each setting falls back on its own default and error line; the nozzle is registered all the same.
TEST(NozzleTable, SettingsThatAreNotWholeNumbers) {
  const struct {
    int argument;  // 0 pump, 1..4 the decimal-place counts
    const char* text;
    int32_t stored;
    const char* errorLine;  // nullptr: no error
  } cases[] = {
      // clang-format off
      {0, "A1", -1, "ERRO NA NUMERACAO DA BOMBA"}, {0, "-7", -7, nullptr},
      {0, "", -1, "ERRO NA NUMERACAO DA BOMBA"}, {0, " 5", 5, nullptr},
      {1, "3,0", 3, "ERRO NAS CASAS DA LITRAGEM"}, {1, "25", 25, nullptr},
      {2, "x", 3, "ERRO NAS CASAS DO PRECO"}, {2, "$10", 16, nullptr},
      {3, "abc", 2, "ERRO NAS CASAS DO TOTAL"}, {3, "-4", -4, nullptr},
      {3, "2 ", 2, "ERRO NAS CASAS DO TOTAL"},
      {4, "3.5", 3, "ERRO NAS CASAS DO ENCERRANTE"}, {4, "0", 0, nullptr},
      // clang-format on
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("argument ") + std::to_string(c.argument) + " '" + c.text + "'");
    const char* texts[5] = {"9", "1", "1", "1", "1"};
    texts[c.argument] = c.text;
    NozzleTable table;
    table.Register("7", texts[0], texts[1], texts[2], texts[3], texts[4], "");
    const NozzleRecord& record = table.Record(1);
    const int32_t stored[5] = {record.pumpNumber, record.volumeDecimals, record.priceDecimals,
                               record.amountDecimals, record.totalizerDecimals};
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(stored[i], i == c.argument ? c.stored : (i == 0 ? 9 : 1)) << "field " << i;
    const Lines after =
        c.errorLine ? Lines{c.errorLine, "OK >AUT_RegistraBico<"} : Lines{"OK >AUT_RegistraBico<"};
    EXPECT_EQ(TakeLogLines(),
              ArgumentLines("7", texts[0], texts[1], texts[2], texts[3], texts[4], "", after));
    EXPECT_TRUE(record.registered);
    EXPECT_EQ(table.Find("7"), 1);
  }
}

TEST(NozzleTable, NullPointersReadAsEmptyTexts) {
  NozzleTable table;
  table.Register(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(
      TakeLogLines(),
      ArgumentLines("", "", "", "", "", "", "",
                    {kNotPlain(""), "ERRO NA NUMERACAO DA BOMBA", "ERRO NAS CASAS DA LITRAGEM",
                     "ERRO NAS CASAS DO PRECO", "ERRO NAS CASAS DO TOTAL",
                     "ERRO NAS CASAS DO ENCERRANTE", "OK >AUT_RegistraBico<"}));
  EXPECT_EQ(Fields(table.Record(1)), "1  -1 3 3 2 3 ");
}

// A logical number registered again keeps its record and takes the new settings; the lookup
// compares byte for byte; a number no hose's decimal text can equal is registered with a warning.
TEST(NozzleTable, LookupIsExactAndARegistrationAgainUpdates) {
  NozzleTable table;
  const struct {
    const char* logico;
    bool plain;
  } registered[] = {{"5", true}, {"07", false}, {"8 ", false}, {"-3", true}, {"0", true}};
  for (const auto& r : registered) {
    table.Register(r.logico, "1", "3", "3", "2", "3", "first");
    const Lines lines = TakeLogLines();
    EXPECT_EQ(lines.size(), r.plain ? 9u : 10u) << "'" << r.logico << "'";
    if (!r.plain) {
      EXPECT_EQ(lines[8], kNotPlain(r.logico));
    }
  }
  table.Register("5", "2", "x", "3", "2", "3", "again");
  EXPECT_EQ(TakeLogLines(), ArgumentLines("5", "2", "x", "3", "2", "3", "again",
                                          {"ERRO NAS CASAS DA LITRAGEM", "OK >AUT_RegistraBico<"}));
  EXPECT_EQ(Fields(table.Record(1)), "1 5 2 3 3 2 3 again");
  EXPECT_FALSE(table.Record(6).registered);
  const struct {
    const char* logico;
    int record;
  } cases[] = {{"5", 1}, {"07", 2}, {"7", 0}, {" 7", 0}, {"8", 0}, {"8 ", 3}, {"-3", 4}, {"0", 5}};
  for (const auto& c : cases) EXPECT_EQ(table.Find(c.logico), c.record) << "'" << c.logico << "'";
}

TEST(NozzleTable, HoldsOneHundredNozzlesThenDropsRegistrations) {
  NozzleTable table;
  for (int i = 1; i <= 100; ++i) {
    const std::string logico = std::to_string(i);
    table.Register(logico.c_str(), "1", "3", "3", "2", "3", "");
  }
  for (int i = 1; i <= 100; ++i) ASSERT_EQ(table.Find(std::to_string(i)), i);
  TakeLogLines();

  // Nothing is stored, so bad settings log no error; the table's is logged.
  table.Register("101", "bad", "bad", "bad", "bad", "bad", "c");
  EXPECT_EQ(TakeLogLines(), ArgumentLines("101", "bad", "bad", "bad", "bad", "bad", "c",
                                          {"ERRO TABELA DE BICOS CHEIA: BICO '101' NAO REGISTRADO",
                                           "OK >AUT_RegistraBico<"}));
  EXPECT_EQ(table.Find("101"), 0);
  // A nozzle of the full table registers again.
  table.Register("50", "1", "3", "3", "2", "3", "again");
  EXPECT_EQ(table.Find("50"), 50);
  EXPECT_EQ(table.Record(50).configuration, "again");
  EXPECT_FALSE(table.Record(0).registered);
  EXPECT_EQ(table.Record(0).logicalNumber, "");
}

}  // namespace
