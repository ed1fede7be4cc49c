// The exports as a 32-bit host calls them: register convention, stack
// arguments removed by the callee, callee-saved registers kept, Booleans
// exactly 0 or 1. On x86_64 the same calls check the results.
#include <cstring>

#include "tests/common/fixture.h"

namespace {

class Abi : public Station {
 protected:
  // The last call left ESP where it was before the pushes and kept EBX,
  // ESI, EDI and EBP.
  void ExpectBalanced(const char* what) {
#if defined(__i386__)
    EXPECT_EQ(driver.lastCheck().stackDelta, 0) << what;
    EXPECT_EQ(driver.lastCheck().preserved, 1) << what;
#else
    (void)what;
#endif
  }
};

TEST_F(Abi, EveryOperationByNameAndOrdinal) {
  const char* names[] = {"AUT_AlteraConfiguracaoBomba",
                         "AUT_SetarUltimoIdLogico",
                         "AUT_ExcluiVendedorCliente",
                         "AUT_InsereCliente",
                         "AUT_InsereVendedor",
                         "AUT_VerificaSuporte",
                         "AUT_ObtemAssinatura",
                         "AUT_DesbloqueiaTodosBicos",
                         "AUT_DesbloqueiaBico",
                         "AUT_BloqueiaTodosBicos",
                         "AUT_BloqueiaBico",
                         "AUT_PagamentoBico",
                         "AUT_AutorizaAbastecimento",
                         "AUT_PresetAbastecimento",
                         "AUT_AlteraPreco",
                         "AUT_ObtemPreco",
                         "AUT_ObtemEncerrante",
                         "AUT_ObtemStatus",
                         "AUT_ObtemDisplay",
                         "AUT_ConfirmaAbastecimento",
                         "AUT_ObtemAbastecimento",
                         "AUT_RegistraBico",
                         "AUT_FinalizaComunicacao",
                         "AUT_IniciaComunicacao",
                         "DRV_ParaGravacaoLog",
                         "DRV_IniciaGravacaoLog"};
  for (uintptr_t ordinal = 1; ordinal <= 26; ++ordinal) {
    SCOPED_TRACE(names[ordinal - 1]);
    FARPROC byName = GetProcAddress(driver.module(), names[ordinal - 1]);
    EXPECT_NE(byName, nullptr);
    EXPECT_EQ(byName, GetProcAddress(driver.module(), reinterpret_cast<LPCSTR>(ordinal)));
  }
}

TEST_F(Abi, SignatureFillsBothBuffersExactly) {
  char signature[16], version[16];
  std::memset(signature, 'X', sizeof signature);
  std::memset(version, 'X', sizeof version);
  EXPECT_EQ(driver.Call("AUT_ObtemAssinatura", {Arg(signature), Arg(version)}), 1u);
  ExpectBalanced("AUT_ObtemAssinatura");
  EXPECT_EQ(std::string(signature, 8), std::string("Korvan\0X", 8));
  EXPECT_EQ(std::string(version, 6), std::string("3.37\0X", 6));
}

TEST_F(Abi, SupportAndFixedAnswersWithACleanBoolean) {
  const struct {
    int32_t code;
    uint32_t answer;
  } support[] = {{0, 0}, {1, 0}, {2, 1}, {3, 1},  {4, 1},    {5, 1},        {6, 0},
                 {7, 1}, {8, 0}, {9, 0}, {-1, 0}, {1000, 0}, {INT32_MIN, 0}};
  for (const auto& row : support) {
    SCOPED_TRACE("AUT_VerificaSuporte(" + std::to_string(row.code) + ")");
    EXPECT_EQ(driver.Call("AUT_VerificaSuporte", {Arg(row.code)}), row.answer);
    ExpectBalanced("AUT_VerificaSuporte");
  }
  // Up to three register arguments, none read.
  const struct {
    const char* name;
    uint32_t answer;
  } fixed[] = {{"AUT_ObtemDisplay", 1},
               {"AUT_PresetAbastecimento", 0},
               {"AUT_PagamentoBico", 0},
               {"AUT_InsereVendedor", 0},
               {"AUT_InsereCliente", 0},
               {"AUT_ExcluiVendedorCliente", 0},
               {"AUT_AlteraConfiguracaoBomba", 0},
               {"AUT_SetarUltimoIdLogico", 0}};
  char untouched[8] = "intact";
  for (const auto& row : fixed) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(driver.Call(row.name, {Arg(untouched), Arg(untouched), Arg(untouched)}), row.answer);
    ExpectBalanced(row.name);
  }
  EXPECT_STREQ(untouched, "intact");
  EXPECT_EQ(LogMessages(), std::vector<std::string>{"Início da gravação do arquivo de LOG"});
}

TEST_F(Abi, RegistraBicoTakesEightArgumentsInTheirPlaces) {
  driver.RegistraBico("11", "2", nullptr, "3", "4", "2", "5", "cfg");
  ExpectBalanced("AUT_RegistraBico (five stack arguments)");
  EXPECT_EQ(LastLines(9), (std::vector<std::string>{
                              "<AUT_RegistraBico>", "NumeroLogico=11", "NumeroBomba=2",
                              "CasasLitragem=3", "CasasPreco=4", "CasasTotal=2",
                              "CasasEncerrante=5", "Configuracao=cfg", "OK >AUT_RegistraBico<"}));
}

// With null pointers as well; the stack stays balanced throughout.
TEST_F(Abi, EveryOperationIsSafeBeforeASession) {
  ExpectEveryOperationRefused();
  const struct {
    const char* name;
    std::initializer_list<uintptr_t> args;
  } calls[] = {
      {"AUT_ObtemStatus", {0}},
      {"AUT_ObtemEncerrante", {0, 0}},
      {"AUT_ObtemPreco", {0, 0}},
      {"AUT_AlteraPreco", {0, 0}},
      {"AUT_AutorizaAbastecimento", {0}},
      {"AUT_ObtemAbastecimento", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& call : calls) {
    SCOPED_TRACE(call.name);
    EXPECT_EQ(driver.Call(call.name, call.args), 0u);
    ExpectBalanced(call.name);
  }
  driver.FinalizaComunicacao();
  ExpectBalanced("AUT_FinalizaComunicacao");
  EXPECT_TRUE(driver.abiClean());
}

}  // namespace
