// Confirming the delivery last handed over, so that the controller clears it.
#pragma once

#include <cstdint>

#include "base/result.h"
#include "client/session.h"

namespace korvan {

// The controller's delivery state that a confirmation reserves but does not
// clear.
constexpr int32_t kDeliveryReserved = 3;

// Remembers a delivery handed over or discarded, for the next confirmation,
// with its log lines; an identifier of 0 or less is logged and not kept.
void RememberDelivery(Session& session, int32_t id, int32_t type, int32_t state);

// AUT_ConfirmaAbastecimento: reserves the remembered delivery and, unless it
// is in state kDeliveryReserved, clears it.
Result ConfirmDelivery(const Session& session);

}  // namespace korvan
