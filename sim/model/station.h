// The simulated forecourt controller: pumps, hoses, finished deliveries,
// events, the client's session and a clock that brings scheduled happenings.
// Plain C++; the exports (entry_points.cpp, control.cpp) translate to and
// from the client library's types and hold the lock around every use.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "contract/sim_types.h"
#include "sim/model/scenario.h"

namespace qxsim {

// A pump as it stood when its state changed: what GetNextPumpEventEx2 hands
// out.
struct PumpEvent {
  int32_t pumpId = 0;
  int16_t pumpNumber = 0;
  int16_t pumpState = 0;
  int32_t hoseId = 0;
  int16_t hoseNumber = 0;
  int16_t gradeNumber = 0;
  int32_t gradeId = 0;
  int16_t priceLevel = 0;
  double price = 0;
  double volume = 0;
  double value = 0;
  int16_t stackSize = 0;  // unpaid deliveries of the pump
  std::string gradeName;  // UTF-8
  std::string shortGradeName;
  std::string pumpName;
};

struct Event {
  int32_t type = 0;  // SimEventType
  PumpEvent pump;    // pump events only
};

// The arguments of a logon, as the session keeps them.
struct LogonArgs {
  int32_t clientId = 0;
  int16_t clientType = 0;
  std::string server;  // UTF-8
  uint16_t callPort = 0;
  uint16_t eventPort = 0;
  int32_t timeout = 0;
  int32_t handle = 0;
  int32_t hWnd = 0;
  int32_t hMsg = 0;
};

// What the controller keeps for one client: its logon, its link and its
// event queue. The station has one of its own (the in-process library's
// client); a server attaches one per connection. Operations that take a
// ClientState* act for that client, or for the station's own when null.
struct ClientState {
  bool loggedOn = false;
  bool linkUp = true;
  int32_t logons = 0;
  LogonArgs logon;
  // Events raised but not yet taken in by ProcessEvents, and taken in.
  std::deque<Event> transit;
  std::deque<Event> queue;
  // When set, every event raised to this client is also put here, for a
  // server to push on the client's event connection.
  bool keepsOutbox = false;
  std::deque<Event> outbox;
};

class Station {
 public:
  using Ticks = uint64_t (*)();  // a monotonic clock, in milliseconds
  using Wall = double (*)();     // local time now, an OLE Automation date

  Station(Ticks ticks, Wall wall);

  // Setting up. Results are SimResultCode values.
  void Reset(bool realTime);
  void Load(const Scenario& scenario);
  int32_t AddGrade(const SimGrade& grade);
  int32_t AddPump(const SimPump& pump);
  int32_t AddHose(const SimHose& hose);
  // The new delivery's identifier, or the negated result code.
  int32_t AddDelivery(const SimDelivery& delivery);
  int32_t SetDeliveryLock(int32_t deliveryId, int32_t clientId);
  int32_t QueuePumpEvent(int32_t pumpNumber, int32_t state);
  int32_t QueueOtherEvent(int32_t type);

  // The clock: seconds since it started, at the first logon (or the first
  // Advance). Happenings fall due by it; Tick brings them.
  void Tick();
  double Seconds() const;
  double Now() const;  // OLE Automation date
  void Advance(double seconds);
  void UseRealTime(bool on);

  // Clients besides the station's own (a server's connections). Detach
  // releases the locks that the client holds: a client that is gone cannot
  // confirm, so its deliveries must be free for the next one.
  void Attach(ClientState& client);
  void Detach(ClientState& client);

  // Session.
  int32_t Logon(const LogonArgs& args, ClientState* client = nullptr);
  int32_t Logoff(ClientState* client = nullptr);
  int32_t Connected(const ClientState* client = nullptr) const;
  void SetLinkUp(bool up, ClientState* client = nullptr) { Of(client).linkUp = up; }
  SimSession Session(const ClientState* client = nullptr) const;

  // The operations behind the entry points the driver calls.
  int32_t PumpsCount(int32_t& count, const ClientState* c = nullptr) const;
  int32_t ProcessEvents(ClientState* c = nullptr);
  int32_t EventsCount(int32_t& count, const ClientState* c = nullptr) const;
  int32_t NextEventType(int32_t& type, const ClientState* c = nullptr) const;
  // Takes the pump event at the head of the queue.
  int32_t TakePumpEvent(PumpEvent& event, ClientState* c = nullptr);
  int32_t DiscardEvent(ClientState* c = nullptr);
  int32_t DeliveriesCount(int32_t& count, const ClientState* c = nullptr) const;
  int32_t DeliveryByOrdinal(int32_t ordinal, int32_t& id, const ClientState* c = nullptr) const;
  int32_t Delivery(int32_t id, SimDelivery& delivery, int32_t& age,
                   const ClientState* c = nullptr) const;
  int32_t LockDelivery(int32_t id, ClientState* c = nullptr);
  int32_t ClearDelivery(int32_t id, int16_t type, ClientState* c = nullptr);
  int32_t HoseByOrdinal(int32_t ordinal, int32_t& id, const ClientState* c = nullptr) const;
  int32_t Hose(int32_t id, SimHose& hose, const ClientState* c = nullptr) const;
  int32_t SetHosePrices(int32_t id, int32_t durationType, int16_t priceType, double price1,
                        double price2, ClientState* c = nullptr);
  int32_t Authorise(int32_t pumpId, ClientState* c = nullptr);
  int32_t TempStop(int32_t pumpId, ClientState* c = nullptr);
  int32_t ReAuthorise(int32_t pumpId, ClientState* c = nullptr);
  int32_t AllStop(ClientState* c = nullptr);
  int32_t AllReAuthorise(ClientState* c = nullptr);

  // What a person at the forecourt does (the server's panel): the nozzle of
  // `hoseId` lifted, hung up; fuel run at a pump. 0 or a SimResultCode.
  int32_t LiftNozzle(int32_t hoseId);
  int32_t HangUpNozzle(int32_t pumpNumber);
  int32_t Dispense(int32_t pumpNumber, double volume);
  int32_t SetHosePrice(int32_t hoseId, double price);

  // Inspection.
  const SimPump* PumpByNumber(int32_t number) const;
  // A hose with its ordinal filled in, whatever the session.
  bool DescribeHose(int32_t id, SimHose& hose) const;
  const std::vector<SimDelivery>& waiting() const { return waiting_; }
  const std::vector<SimDelivery>& cleared() const { return cleared_; }
  // Drops the history of cleared deliveries (a long run's memory).
  void ForgetCleared() { cleared_.clear(); }
  size_t EventCount() const { return own_.transit.size() + own_.queue.size(); }
  const std::vector<SimPump>& pumps() const { return pumps_; }
  const std::vector<SimHose>& hoses() const { return hoses_; }
  const std::vector<SimGrade>& grades() const { return grades_; }

 private:
  ClientState& Of(ClientState* c) { return c ? *c : own_; }
  const ClientState& Of(const ClientState* c) const { return c ? *c : own_; }
  bool AnyoneLoggedOn() const;

  SimPump* FindPump(int32_t id);
  SimPump* FindPumpNumber(int32_t number);
  SimHose* FindHose(int32_t id);
  const SimHose* FindHose(int32_t id) const;
  const SimGrade* FindGrade(int32_t id) const;
  bool DeliveryIdTaken(int32_t id) const;
  std::vector<SimDelivery>::iterator FindWaiting(int32_t id);

  void StartClock();
  double WallStart() const;
  double DateAt(double seconds) const;
  void Fire(const Happening& happening);

  PumpEvent Snapshot(const SimPump& pump) const;
  void Raise(Event event);
  void SetState(SimPump& pump, int32_t state);
  void Stop(SimPump& pump);
  void Resume(SimPump& pump);

  Ticks ticks_;
  Wall wall_;

  std::vector<SimGrade> grades_;
  std::vector<SimPump> pumps_;
  std::vector<SimHose> hoses_;  // in ordinal order
  std::vector<SimDelivery> waiting_;
  std::vector<SimDelivery> cleared_;
  int32_t nextDeliveryId_ = 0;

  ClientState own_;
  std::vector<ClientState*> attached_;
  std::map<int32_t, ClientState*> lockHolders_;  // delivery id -> holder

  std::vector<Happening> schedule_;
  size_t nextHappening_ = 0;

  bool clockStarted_ = false;
  bool realTime_ = true;
  uint64_t runningSince_ = 0;  // ticks when real time last started counting
  double banked_ = 0;          // seconds counted before that
  bool wallKnown_ = false;     // wallStart_ is set
  double wallStart_ = 0;       // date at second 0
};

}  // namespace qxsim
