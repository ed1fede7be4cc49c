// Handing the controller's finished deliveries to the host, one per poll.
#pragma once

#include "base/result.h"
#include "client/session.h"
#include "deliveries/nozzle_table.h"

namespace korvan {

// The host's eleven output buffers, in the order of the export's arguments.
struct DeliveryBuffers {
  char* logicalNumber;
  char* volume;
  char* amount;
  char* unitPrice;
  char* startTotalizer;
  char* endTotalizer;
  char* time;
  char* text8;   // "0"
  char* text9;   // the delivery's 64-bit code in hexadecimal
  char* text10;  // empty
  double* date;  // the delivery's date at midnight
};

// Logs on again with the last start's arguments; true when logged on.
using ReconnectFunction = bool (*)(Session& session);

// AUT_ObtemAbastecimento: hands over the first finished delivery (Ok), or
// discards or leaves it. A lost connection is restored through `reconnect`
// first. Every failure is told in the log already.
Result RetrieveDelivery(Session& session, const NozzleTable& nozzles, const DeliveryBuffers& out,
                        ReconnectFunction reconnect);

}  // namespace korvan
