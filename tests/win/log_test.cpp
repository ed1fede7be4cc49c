// The driver's log as a host finds it on disk.
#include <regex>

#include "tests/win/driver_test.h"

namespace {

using Log = Station;

TEST_F(Log, SwitchesWriteOneLineEachOnlyWhenTheStateChanges) {
  driver.IniciaGravacaoLog();  // on already: nothing
  driver.ParaGravacaoLog();
  driver.ParaGravacaoLog();  // off already: nothing
  driver.RegistraBico("1", "x", "", "y", "", "", "", "");
  driver.FinalizaComunicacao();  // fails: no session
  driver.IniciaGravacaoLog();
  EXPECT_EQ(LogMessages(),
            Lines({"Início da gravação do arquivo de LOG", "Fim da gravação do arquivo de LOG",
                   "Início da gravação do arquivo de LOG"}));
  // Off, the driver touches no file at all.
  driver.ParaGravacaoLog();
  RemoveLogFolder("");
  driver.RegistraBico("1", "x", "", "y", "", "", "", "");
  driver.FinalizaComunicacao();
  EXPECT_FALSE(LogFolderExists());
}

TEST_F(Log, FileNameAndLineFormat) {
  driver.ParaGravacaoLog();
  RemoveLogFolder("");
  SYSTEMTIME before, after;
  GetLocalTime(&before);
  driver.IniciaGravacaoLog();
  driver.ParaGravacaoLog();
  GetLocalTime(&after);
  // The hour's file; if the hour turned meanwhile, the lines may lie in two files, read in order.
  std::string names, bytes;
  for (const SYSTEMTIME* at : {&before, &after}) {
    if (at == &after && after.wHour == before.wHour) break;
    char name[64];
    std::snprintf(name, sizeof name, "LOG\\DllDriverAutomacao%02d%02d_%02d.log", at->wDay,
                  at->wMonth, at->wHour);
    names += std::string(names.empty() ? "" : " + ") + name;
    bytes += ReadFile(name);
  }
  const std::regex lines(
      "DRV - < \\d\\d:\\d\\d:\\d\\d >In\xED"
      "cio da grava\xE7\xE3o do arquivo de LOG\r\n"
      "DRV - < \\d\\d:\\d\\d:\\d\\d >Fim da grava\xE7\xE3o do arquivo de LOG\r\n");
  EXPECT_TRUE(std::regex_match(bytes, lines)) << names << " holds:\n" << bytes;
}

TEST_F(Log, FollowsTheCurrentDirectory) {
  CreateDirectoryA("elsewhere", nullptr);
  RemoveLogFolder("elsewhere\\");
  SetCurrentDirectoryA("elsewhere");
  driver.ParaGravacaoLog();
  const auto moved = LogMessages();
  SetCurrentDirectoryA("..");
  EXPECT_EQ(moved, Lines{"Fim da gravação do arquivo de LOG"});
  EXPECT_EQ(LogMessages(), Lines{"Início da gravação do arquivo de LOG"});
}

// No session was started here: each operation's line names the cause its own lines have not told.
TEST_F(Log, UntoldFailuresNameTheirCause) {
  char text[32];
  char* const null = nullptr;
  KorvanDriver::Delivery delivery;
  const auto expectRefused = [&](const char* name, std::initializer_list<uintptr_t> args,
                                 const char* line) {
    EXPECT_EQ(driver.Call(name, args), 0u) << line;
    EXPECT_EQ(LastLine(), line);
  };
  expectRefused("AUT_ObtemPreco", {Arg("11"), Arg(text)},
                "<AUT_ObtemPreco> Falhou: comunicação não iniciada");
  expectRefused("AUT_ObtemPreco", {Arg("onze"), Arg(text)},
                "<AUT_ObtemPreco> Falhou: 'onze' is not a valid integer value");
  expectRefused("AUT_ObtemEncerrante", {Arg("11"), Arg(null)},
                "<AUT_ObtemEncerrante> Falhou: buffer do host nulo");
  expectRefused("AUT_AlteraPreco", {Arg("1"), Arg("cinco")},
                "<AUT_AlteraPreco> Falhou: 'cinco' is not a valid floating point value");
  expectRefused("AUT_AlteraPreco", {Arg("1"), Arg("1E400")},
                "<AUT_AlteraPreco> Falhou: '1E400' is out of the floating point range");
  expectRefused("AUT_ObtemStatus", {Arg(text)},
                ">AUT_ObtemStatus< Falhou comunicação não iniciada");
  expectRefused("AUT_ObtemStatus", {Arg(null)}, ">AUT_ObtemStatus< Falhou buffer do host nulo");
  expectRefused("AUT_ConfirmaAbastecimento", {},
                "<AUT_ConfirmaAbastecimento> Falhou: comunicação não iniciada");
  expectRefused("AUT_BloqueiaBico", {Arg("1")},
                "<AUT_BloqueiaBico> Falhou: comunicação não iniciada");
  expectRefused("AUT_DesbloqueiaTodosBicos", {},
                "<AUT_DesbloqueiaTodosBicos> Falhou: comunicação não iniciada");
  // Retrieval's own line keeps its bare form.
  EXPECT_FALSE(driver.ObtemAbastecimento(delivery));
  EXPECT_EQ(LastLine(), "<AUT_ObtemAbastecimento> Falhou.");
}

TEST_F(Log, ALineThatCannotBeWrittenIsLostQuietly) {
  // A file named LOG where the folder should be: lines are lost, operations go on.
  driver.ParaGravacaoLog();
  RemoveLogFolder("");
  WriteFile("LOG", "not a folder");
  driver.IniciaGravacaoLog();
  char signature[8], version[8];
  EXPECT_TRUE(driver.ObtemAssinatura(signature, version));
  driver.RegistraBico("9", "1", "", "3", "3", "2", "3", "");
  EXPECT_EQ(ReadFile("LOG"), "not a folder");
  driver.ParaGravacaoLog();
  RemoveFile("LOG");
}

}  // namespace
