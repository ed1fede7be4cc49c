// The exports as a 32-bit host calls them: register convention, stack arguments removed by the
// callee, callee-saved registers kept, Booleans exactly 0 or 1; on x86_64, the results.
#include <cstring>

#include "tests/win/driver_test.h"

namespace {

class Abi : public Station {
 protected:
  // The last call left ESP where it was before the pushes and kept EBX, ESI, EDI and EBP.
  void ExpectBalanced([[maybe_unused]] const char* what) {
#if defined(__i386__)
    EXPECT_EQ(driver.lastCheck().stackDelta, 0) << what;
    EXPECT_EQ(driver.lastCheck().preserved, 1) << what;
#endif
  }
};

TEST_F(Abi, EveryOperationByNameAndOrdinal) {
  uintptr_t ordinal = 0;
  for (const DriverExport& e : kDriverExports) {
    SCOPED_TRACE(e.name);
    FARPROC byName = GetProcAddress(driver.module(), e.name);
    EXPECT_NE(byName, nullptr);
    EXPECT_EQ(byName, GetProcAddress(driver.module(), reinterpret_cast<LPCSTR>(++ordinal)));
  }
  EXPECT_EQ(GetProcAddress(driver.module(), reinterpret_cast<LPCSTR>(27)), nullptr);
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
  const std::pair<int32_t, uint32_t> support[] = {{0, 0},  {1, 0},    {2, 1},        {3, 1}, {4, 1},
                                                  {5, 1},  {6, 0},    {7, 1},        {8, 0}, {9, 0},
                                                  {-1, 0}, {1000, 0}, {INT32_MIN, 0}};
  for (const auto& [code, answer] : support) {
    SCOPED_TRACE("AUT_VerificaSuporte(" + std::to_string(code) + ")");
    EXPECT_EQ(driver.Call("AUT_VerificaSuporte", {Arg(code)}), answer);
    ExpectBalanced("AUT_VerificaSuporte");
  }
  // Up to three register arguments, none read: the display answers 1, the rest 0.
  char untouched[8] = "intact";
  for (const char* name : {"AUT_ObtemDisplay", "AUT_PresetAbastecimento", "AUT_PagamentoBico",
                           "AUT_InsereVendedor", "AUT_InsereCliente", "AUT_ExcluiVendedorCliente",
                           "AUT_AlteraConfiguracaoBomba", "AUT_SetarUltimoIdLogico"}) {
    SCOPED_TRACE(name);
    const uint32_t answer = std::strcmp(name, "AUT_ObtemDisplay") == 0 ? 1 : 0;
    EXPECT_EQ(driver.Call(name, {Arg(untouched), Arg(untouched), Arg(untouched)}), answer);
    ExpectBalanced(name);
  }
  EXPECT_STREQ(untouched, "intact");
  EXPECT_EQ(LogMessages(), Lines{"Início da gravação do arquivo de LOG"});
}

TEST_F(Abi, RegistraBicoTakesEightArgumentsInTheirPlaces) {
  driver.RegistraBico("11", "2", nullptr, "3", "4", "2", "5", "cfg");
  ExpectBalanced("AUT_RegistraBico (five stack arguments)");
  EXPECT_EQ(LastLines(9),
            Lines({"<AUT_RegistraBico>", "NumeroLogico=11", "NumeroBomba=2", "CasasLitragem=3",
                   "CasasPreco=4", "CasasTotal=2", "CasasEncerrante=5", "Configuracao=cfg",
                   "OK >AUT_RegistraBico<"}));
}

// With null pointers as well; the stack stays balanced throughout.
TEST_F(Abi, EveryOperationIsSafeBeforeASession) {
  ExpectEveryOperationRefused();
  const uintptr_t nulls[11] = {};
  for (const char* name :
       {"AUT_ObtemStatus", "AUT_ObtemEncerrante", "AUT_ObtemPreco", "AUT_AlteraPreco",
        "AUT_AutorizaAbastecimento", "AUT_ObtemAbastecimento"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(CallExport(driver, name, nulls), 0u);
    ExpectBalanced(name);
  }
  driver.FinalizaComunicacao();
  ExpectBalanced("AUT_FinalizaComunicacao");
  EXPECT_TRUE(driver.abiClean());
}

}  // namespace
