// Authorising a delivery, and stopping and re-authorising pumps.
#pragma once

#include "base/result.h"
#include "client/session.h"

namespace korvan {

// The host's nozzle text as it passed it (null reads as empty).
// AUT_AutorizaAbastecimento takes it as a hose identifier, AUT_BloqueiaBico
// and AUT_DesbloqueiaBico as a hose ordinal; each commands the hose's pump.
Result AuthoriseDelivery(const Session& session, const char* nozzle);
Result LockNozzle(const Session& session, const char* nozzle);
Result UnlockNozzle(const Session& session, const char* nozzle);
// AUT_BloqueiaTodosBicos and AUT_DesbloqueiaTodosBicos.
Result LockAllPumps(const Session& session);
Result UnlockAllPumps(const Session& session);

}  // namespace korvan
