#include "pumps/status_letters.h"

#include <gtest/gtest.h>

#include "log_capture.h"

namespace {

using namespace korvan;

TEST(TrataStatusBomba, EveryControllerStateHasItsLetterAndLine) {
  const struct {
    int16_t state;
    char letter;
    const char* name;
  } cases[] = {
      {-32768, 'F', "FALHA_NO_BICO"},
      {-1, 'F', "FALHA_NO_BICO"},
      {0, 'F', "FALHA_NO_BICO"},
      {1, 'F', "FALHA_NO_BICO"},
      {2, 'F', "FALHA_NO_BICO"},
      {3, 'B', "BICO_BLOQUEADO"},
      {4, 'P', "PRONTO_PARA_ABASTECER"},
      {5, 'P', "PRONTO_PARA_ABASTECER"},
      {6, 'P', "PRONTO_PARA_ABASTECER"},
      {7, 'E', "BICO_SOLICITANDO_AUTORIZACAO"},
      {8, 'A', "BICO_ABASTECENDO"},
      {9, 'B', "BICO_BLOQUEADO"},
      {10, 'E', "BICO_SOLICITANDO_AUTORIZACAO"},
      {11, 'A', "BICO_ABASTECENDO"},
      {12, 'A', "BICO_ABASTECENDO"},
      {13, 'P', "PRONTO_PARA_ABASTECER"},
      {14, 'B', "BICO_BLOQUEADO"},
      {15, 'F', "FALHA_NO_BICO"},
      {16, 'F', "FALHA_NO_BICO"},
      {32767, 'F', "FALHA_NO_BICO"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusLetter(c.state), c.letter) << "state " << c.state;
    EXPECT_EQ(TakeLogLines(), std::vector<std::string>{std::string("TrataStatusBomba - ") + c.name})
        << "state " << c.state;
  }
}

TEST(StorePumpLetter, WritesOnlyInsideTheText) {
  std::string status = "PPP";
  EXPECT_TRUE(StorePumpLetter(status, 2, 'A'));
  EXPECT_EQ(status, "PAP");
  EXPECT_TRUE(StorePumpLetter(status, 1, 'B'));
  EXPECT_TRUE(StorePumpLetter(status, 3, 'E'));
  EXPECT_EQ(status, "BAE");
  for (int outside : {0, -1, 4, 2147483647, -2147483647 - 1}) {
    EXPECT_FALSE(StorePumpLetter(status, outside, 'F')) << "pump " << outside;
    EXPECT_EQ(status, "BAE") << "pump " << outside;
  }
  std::string empty;
  EXPECT_FALSE(StorePumpLetter(empty, 1, 'F'));
  EXPECT_EQ(empty, "");
}

TEST(StatusLength, OneLetterPerPumpUpToTheMostAnEventCanName) {
  const struct {
    int32_t count;
    size_t length;
  } cases[] = {
      {-2147483647 - 1, 0},
      {-1, 0},
      {0, 0},
      {1, 1},
      {8, 8},
      {32766, 32766},
      {32767, 32767},
      {32768, 32767},
      {2147483647, 32767},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StatusLength(c.count), c.length) << "pump count " << c.count;
}

}  // namespace
