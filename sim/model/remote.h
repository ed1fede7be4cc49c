// The network mode of our QXClient.dll: the same operations as the
// in-process Station, each carried out as a request to qxsim-server over the
// wire protocol (sim/protocol.h). A dropped link, a time-out or a reply that
// does not fit closes both connections; every operation then answers
// SIM_ERR_NOT_CONNECTED until the next logon.
#pragma once

#include <cstdint>
#include <memory>

#include <nlohmann/json.hpp>

#include "contract/sim_types.h"
#include "sim/model/station.h"

namespace qxsim {

class RemoteStation {
 public:
  RemoteStation();
  ~RemoteStation();
  RemoteStation(const RemoteStation&) = delete;
  RemoteStation& operator=(const RemoteStation&) = delete;

  // Connects to args.server at the call and event ports, within
  // args.timeout milliseconds for each step (10 s when not above 0), and
  // logs on. SIM_ERR_NO_SERVER when the server cannot be reached or speaks
  // another protocol version. A logon while linked starts over.
  int32_t Logon(const LogonArgs& args);
  int32_t Logoff();
  int32_t Connected();  // asks the server: the link as it really is
  int32_t PumpsCount(int32_t& count);
  int32_t ProcessEvents();
  int32_t EventsCount(int32_t& count);
  int32_t NextEventType(int32_t& type);
  int32_t TakePumpEvent(PumpEvent& event);
  int32_t DiscardEvent();
  int32_t DeliveriesCount(int32_t& count);
  int32_t DeliveryByOrdinal(int32_t ordinal, int32_t& id);
  int32_t Delivery(int32_t id, SimDelivery& delivery, int32_t& age);
  int32_t LockDelivery(int32_t id);
  int32_t ClearDelivery(int32_t id, int16_t type);
  int32_t HoseByOrdinal(int32_t ordinal, int32_t& id);
  int32_t Hose(int32_t id, SimHose& hose);
  int32_t SetHosePrices(int32_t id, int32_t durationType, int16_t priceType, double price1,
                        double price2);
  int32_t Authorise(int32_t pumpId);
  int32_t TempStop(int32_t pumpId);
  int32_t ReAuthorise(int32_t pumpId);
  int32_t AllStop();
  int32_t AllReAuthorise();

  // Closes both connections (the link is then down until the next logon).
  void Close();
  bool linked() const;
  // Pump and other events that the event connection has brought so far.
  int64_t eventsHeard() const { return eventsHeard_; }

 private:
  struct Link;
  // Sends one call and waits for its result; fills `out` with the result's
  // outputs. Any failure of the link closes it and gives not connected.
  int32_t Request(const char* op, nlohmann::json args, nlohmann::json* out = nullptr);
  int32_t Simple(const char* op, nlohmann::json args = nlohmann::json::array());
  // A request whose one output is a 32-bit integer.
  int32_t OneInt(const char* op, nlohmann::json args, int32_t& value);
  bool DrainEvents();

  std::unique_ptr<Link> link_;
  int timeoutMs_ = 10000;
  int64_t eventsHeard_ = 0;
};

}  // namespace qxsim
