#include "pumps/status_letters.h"

#include <gtest/gtest.h>

#include "log_capture.h"

namespace {

using namespace korvan;

TEST(TrataStatusBomba, EveryControllerStateHasItsLetterAndLine) {
  const char* const failure = "FALHA_NO_BICO";
  const char* const locked = "BICO_BLOQUEADO";
  const char* const ready = "PRONTO_PARA_ABASTECER";
  const char* const asking = "BICO_SOLICITANDO_AUTORIZACAO";
  const char* const filling = "BICO_ABASTECENDO";
  const struct {
    int16_t state;
    char letter;
    const char* name;
  } cases[] = {
      // clang-format off
      {-32768, 'F', failure}, {-1, 'F', failure}, {0, 'F', failure}, {1, 'F', failure},
      {2, 'F', failure}, {3, 'B', locked}, {4, 'P', ready}, {5, 'P', ready}, {6, 'P', ready},
      {7, 'E', asking}, {8, 'A', filling}, {9, 'B', locked}, {10, 'E', asking},
      {11, 'A', filling}, {12, 'A', filling}, {13, 'P', ready}, {14, 'B', locked},
      {15, 'F', failure}, {16, 'F', failure}, {32767, 'F', failure},
      // clang-format on
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
      // clang-format off
      {-2147483647 - 1, 0}, {-1, 0}, {0, 0}, {1, 1}, {8, 8}, {32766, 32766}, {32767, 32767},
      {32768, 32767}, {2147483647, 32767},
      // clang-format on
  };
  for (const auto& c : cases)
    EXPECT_EQ(StatusLength(c.count), c.length) << "pump count " << c.count;
}

}  // namespace
