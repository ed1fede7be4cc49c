#include "pumps/status_letters.h"

#include <iterator>
#include <string_view>

#include "base/log.h"

namespace korvan {

namespace {

struct Letter {
  char letter;
  std::string_view line;
};

constexpr Letter kFalha{'F', "TrataStatusBomba - FALHA_NO_BICO"};
constexpr Letter kBloqueado{'B', "TrataStatusBomba - BICO_BLOQUEADO"};
constexpr Letter kPronto{'P', "TrataStatusBomba - PRONTO_PARA_ABASTECER"};
constexpr Letter kSolicitando{'E', "TrataStatusBomba - BICO_SOLICITANDO_AUTORIZACAO"};
constexpr Letter kAbastecendo{'A', "TrataStatusBomba - BICO_ABASTECENDO"};

// Controller pump states 0..15.
constexpr Letter kByState[] = {kFalha,       kFalha,     kFalha,       kBloqueado,
                               kPronto,      kPronto,    kPronto,      kSolicitando,
                               kAbastecendo, kBloqueado, kSolicitando, kAbastecendo,
                               kAbastecendo, kPronto,    kBloqueado,   kFalha};

}  // namespace

char StatusLetter(int16_t state) {
  const bool known = state >= 0 && state < static_cast<int>(std::size(kByState));
  const Letter& letter = known ? kByState[state] : kFalha;
  WriteLog(letter.line);
  return letter.letter;
}

size_t StatusLength(int32_t pumpCount) {
  if (pumpCount <= 0) return 0;
  return static_cast<size_t>(pumpCount < kMostPumps ? pumpCount : kMostPumps);
}

bool StorePumpLetter(std::string& status, int pumpNumber, char letter) {
  if (pumpNumber < 1 || static_cast<size_t>(pumpNumber) > status.size()) return false;
  status[static_cast<size_t>(pumpNumber) - 1] = letter;
  return true;
}

}  // namespace korvan
