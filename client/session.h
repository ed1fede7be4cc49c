// What the driver keeps between calls: one session with the controller. The
// nozzle table lives beside it (deliveries/nozzle_table.h): registrations
// outlive sessions.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/number_texts.h"
#include "client/client_binding.h"

namespace korvan {

// The delivery last handed over or discarded, which a confirmation reserves
// and clears.
struct RememberedDelivery {
  int32_t id = 0;
  int32_t type = 0;   // passed back when clearing
  int32_t state = 0;  // kDeliveryReserved: reserved, not cleared
};

struct Session {
  // Read when the driver is loaded; never changed.
  RegionalSettings regional;

  // Replaced by every communication start; null before the first one.
  std::unique_ptr<ClientBinding> binding;
  // The last start's Porta and Configuracao, for reconnection.
  std::string savedAddress;
  std::string savedConfiguration;
  // Set at every logon: volume re-engineering ("REL=S" in Configuracao),
  // and one status letter per pump the controller counts.
  bool reengineerVolume = false;
  std::string pumpStatus;

  // Kept across starts, until the next delivery is handed over or discarded.
  RememberedDelivery lastDelivery;

  // A client call through the current binding (see client_binding.h).
  template <class Function, class... Args>
  Result Call(EntryPoint<Function> entryPoint, Args... args) const {
    return korvan::Call(binding.get(), entryPoint, args...);
  }
  template <class Function, class... Args>
  Result CallWithoutErrorLine(EntryPoint<Function> entryPoint, Args... args) const {
    return korvan::CallWithoutErrorLine(binding.get(), entryPoint, args...);
  }
};

}  // namespace korvan
