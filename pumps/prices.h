// Totalizers and prices of one nozzle.
#pragma once

#include "base/result.h"
#include "client/session.h"

namespace korvan {

// The host's texts as it passed them (null reads as empty); `buffer` is the
// host's. AUT_ObtemEncerrante and AUT_ObtemPreco read the hose whose
// identifier is the nozzle number; AUT_AlteraPreco changes the hose whose
// ordinal it is.
Result ReadTotalizer(const Session& session, const char* nozzle, char* buffer);
Result ReadPrice(const Session& session, const char* nozzle, char* buffer);
Result ChangePrice(const Session& session, const char* nozzle, const char* price);

}  // namespace korvan
