#include "sim/model/station.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <utility>

#include "sim/model/ole_date.h"

namespace qxsim {
namespace {

constexpr int32_t kFirstDeliveryId = 1001;

double RoundTo(double value, double scale) { return std::round(value * scale) / scale; }
double Litres(double value) { return RoundTo(value, 1000); }
double Money(double value) { return RoundTo(value, 100); }

// The id of the ordinal-th item (from 1) of a list, or `missing` past its end.
template <class List>
int32_t IdAtOrdinal(const List& list, int32_t ordinal, int32_t missing, int32_t& id) {
  if (ordinal < 1) return SIM_ERR_BAD_ARGUMENT;
  if (static_cast<size_t>(ordinal) > list.size()) return missing;
  id = list[static_cast<size_t>(ordinal) - 1].id;
  return SIM_OK;
}

// Volume times unit price to the cent, half up, worked in whole millilitres
// and thousandths as a controller does: in doubles 12.5 * 5.799 falls just
// short of 72.4875 and would round down.
double AmountOf(double volume, double unitPrice) {
  if (std::fabs(volume) > 1e9 || std::fabs(unitPrice) > 1e6) {
    return Money(volume * unitPrice);  // beyond any pump; no overflow
  }
  const long long millilitres = std::llround(volume * 1000);
  const long long milliPrice = std::llround(unitPrice * 1000);
  const long long micro = millilitres * milliPrice;  // millionths of money
  const long long cents = (micro >= 0 ? micro + 5000 : micro - 5000) / 10000;
  return static_cast<double>(cents) / 100;
}

template <size_t N>
void Terminate(char (&text)[N]) {
  text[N - 1] = '\0';
}

// What a pump goes back to on ReAuthorise when it was put in a stopped
// state from outside (a scenario, a test) rather than by a command.
int32_t ResumeStateFor(int32_t state) {
  return state == SIM_PUMP_DELIVERY_STOPPED ? SIM_PUMP_DELIVERING : SIM_PUMP_IDLE;
}

bool IsStopped(int32_t state) {
  return state == SIM_PUMP_STOPPED || state == SIM_PUMP_DELIVERY_STOPPED;
}

bool IsDelivering(int32_t state) {
  return state == SIM_PUMP_DELIVERING || state == SIM_PUMP_STARTING || state == SIM_PUMP_FINISHING;
}

bool IsStoppable(int32_t state) {
  switch (state) {
    case SIM_PUMP_IDLE:
    case SIM_PUMP_AUTHORISED:
    case SIM_PUMP_RESERVED:
    case SIM_PUMP_CALLING:
    case SIM_PUMP_CALLING_STACKED:
    case SIM_PUMP_FINISHED:
      return true;
    default:
      return IsDelivering(state);
  }
}

}  // namespace

Station::Station(Ticks ticks, Wall wall) : ticks_(ticks), wall_(wall) { Reset(true); }

void Station::Reset(bool realTime) {
  grades_.clear();
  pumps_.clear();
  hoses_.clear();
  waiting_.clear();
  cleared_.clear();
  nextDeliveryId_ = kFirstDeliveryId;
  ClientState fresh;  // swapped in: GCC 12 misreads a move from a temporary here
  std::swap(own_, fresh);
  lockHolders_.clear();
  schedule_.clear();
  nextHappening_ = 0;
  clockStarted_ = false;
  realTime_ = realTime;
  runningSince_ = 0;
  banked_ = 0;
  wallKnown_ = false;
  wallStart_ = 0;
}

void Station::Load(const Scenario& scenario) {
  grades_.clear();
  pumps_.clear();
  hoses_.clear();
  waiting_.clear();
  cleared_.clear();
  nextDeliveryId_ = kFirstDeliveryId;
  own_.transit.clear();
  own_.queue.clear();
  for (ClientState* client : attached_) {
    client->transit.clear();
    client->queue.clear();
  }
  lockHolders_.clear();
  schedule_ = scenario.happenings;
  nextHappening_ = 0;
  clockStarted_ = false;
  banked_ = 0;
  wallKnown_ = scenario.hasClock;
  wallStart_ = scenario.clock;
  // The parser has checked every reference, so none of these can fail.
  for (const SimGrade& grade : scenario.grades) AddGrade(grade);
  for (const SimPump& pump : scenario.pumps) AddPump(pump);
  for (const SimHose& hose : scenario.hoses) AddHose(hose);
  for (SimDelivery delivery : scenario.deliveries) {
    if (delivery.flags & SIM_DELIVERY_AUTO_DATE) {
      delivery.completedDate = DateAt(0);
      delivery.flags &= ~SIM_DELIVERY_AUTO_DATE;
    }
    AddDelivery(delivery);
  }
  // Loaded in the middle of a session, the scenario's time starts now.
  if (AnyoneLoggedOn()) {
    StartClock();
    Tick();
  }
}

int32_t Station::AddGrade(const SimGrade& grade) {
  if (grade.id <= 0 || FindGrade(grade.id)) return SIM_ERR_BAD_ARGUMENT;
  SimGrade g = grade;
  if (g.number == 0) g.number = g.id;
  Terminate(g.name);
  Terminate(g.shortName);
  grades_.push_back(g);
  return SIM_OK;
}

int32_t Station::AddPump(const SimPump& pump) {
  if (pump.id <= 0 || pump.number <= 0 || pump.number > INT16_MAX || FindPump(pump.id) ||
      FindPumpNumber(pump.number)) {
    return SIM_ERR_BAD_ARGUMENT;
  }
  SimPump p = pump;
  p.resumeState = ResumeStateFor(p.state);
  Terminate(p.name);
  pumps_.push_back(p);
  return SIM_OK;
}

int32_t Station::AddHose(const SimHose& hose) {
  if (hose.id <= 0 || FindHose(hose.id)) return SIM_ERR_BAD_ARGUMENT;
  if (!FindPump(hose.pumpId)) return SIM_ERR_NOT_FOUND;
  if (hose.gradeId != 0 && !FindGrade(hose.gradeId)) return SIM_ERR_NOT_FOUND;
  if (!(hose.price > 0) || !std::isfinite(hose.price) || !std::isfinite(hose.price2) ||
      !std::isfinite(hose.totalizer)) {
    return SIM_ERR_BAD_ARGUMENT;
  }
  SimHose h = hose;
  if (!(h.price2 > 0)) h.price2 = h.price;
  if (h.number == 0) {
    for (const SimHose& other : hoses_) {
      if (other.pumpId == h.pumpId) h.number = std::max(h.number, other.number);
    }
    ++h.number;
  }
  for (const SimHose& other : hoses_) {
    if (other.pumpId == h.pumpId && other.number == h.number) {
      return SIM_ERR_BAD_ARGUMENT;
    }
  }
  h.ordinal = 0;  // worked out when asked
  hoses_.push_back(h);
  return SIM_OK;
}

int32_t Station::AddDelivery(const SimDelivery& delivery) {
  SimHose* hose = FindHose(delivery.hoseId);
  if (!hose) return -SIM_ERR_NOT_FOUND;
  if (delivery.id < 0 || DeliveryIdTaken(delivery.id) || !std::isfinite(delivery.volume) ||
      delivery.volume < 0) {
    return -SIM_ERR_BAD_ARGUMENT;
  }
  SimDelivery d = delivery;
  if (d.id == 0 && !(d.flags & SIM_DELIVERY_GIVEN_ID)) d.id = nextDeliveryId_;
  nextDeliveryId_ = std::max(nextDeliveryId_, d.id + 1);
  if (d.flags & SIM_DELIVERY_AUTO_PRICE) {
    d.unitPrice = d.priceLevel == 2 ? hose->price2 : hose->price;
  }
  if (d.flags & SIM_DELIVERY_AUTO_AMOUNT) d.amount = AmountOf(d.volume, d.unitPrice);
  if (d.flags & SIM_DELIVERY_AUTO_DATE) d.completedDate = Now();
  if (d.flags & SIM_DELIVERY_AUTO_TOTALS) {
    // The hose's meters move on by the delivery.
    d.startTotalizer = hose->totalizer;
    d.startVolume2Total = hose->volume2Total;
    d.startValueTotal = hose->valueTotal;
    hose->totalizer = Litres(hose->totalizer + d.volume);
    hose->volumeTotal = Litres(hose->volumeTotal + d.volume);
    hose->volume2Total = Litres(hose->volume2Total + d.volume2);
    hose->valueTotal = Money(hose->valueTotal + d.amount);
    d.endTotalizer = hose->totalizer;
    d.endVolume2Total = hose->volume2Total;
    d.endValueTotal = hose->valueTotal;
  }
  d.flags = 0;
  d.clearedDate = 0;
  waiting_.push_back(d);
  return d.id;
}

int32_t Station::SetDeliveryLock(int32_t deliveryId, int32_t clientId) {
  const auto it = FindWaiting(deliveryId);
  if (it == waiting_.end()) return SIM_ERR_NOT_FOUND;
  it->lockedBy = clientId;
  lockHolders_.erase(deliveryId);
  return SIM_OK;
}

int32_t Station::QueuePumpEvent(int32_t pumpNumber, int32_t state) {
  if (!AnyoneLoggedOn()) return SIM_ERR_NOT_CONNECTED;
  if (SimPump* pump = FindPumpNumber(pumpNumber)) {
    pump->resumeState = ResumeStateFor(state);
    SetState(*pump, state);
    return SIM_OK;
  }
  // A pump the controller does not know: the event goes out as it is.
  Event event;
  event.type = SIM_EVENT_PUMP;
  event.pump.pumpNumber = static_cast<int16_t>(pumpNumber);
  event.pump.pumpState = static_cast<int16_t>(state);
  Raise(event);
  return SIM_OK;
}

int32_t Station::QueueOtherEvent(int32_t type) {
  if (type == SIM_EVENT_PUMP) return SIM_ERR_BAD_ARGUMENT;
  if (!AnyoneLoggedOn()) return SIM_ERR_NOT_CONNECTED;
  Event event;
  event.type = type;
  Raise(event);
  return SIM_OK;
}

// Clock.

void Station::StartClock() {
  if (clockStarted_) return;
  clockStarted_ = true;
  runningSince_ = ticks_();
  if (!wallKnown_) {
    wallStart_ = RoundToSecond(wall_()) - banked_ / 86400.0;
    wallKnown_ = true;
  }
}

double Station::Seconds() const {
  double seconds = banked_;
  if (clockStarted_ && realTime_) {
    seconds += static_cast<double>(ticks_() - runningSince_) / 1000.0;
  }
  return seconds;
}

double Station::WallStart() const { return wallKnown_ ? wallStart_ : RoundToSecond(wall_()); }

double Station::DateAt(double seconds) const { return AddSeconds(WallStart(), seconds); }

double Station::Now() const { return DateAt(Seconds()); }

void Station::Advance(double seconds) {
  StartClock();
  if (seconds > 0) banked_ += seconds;
  Tick();
}

void Station::UseRealTime(bool on) {
  if (on == realTime_) return;
  if (clockStarted_) {
    if (realTime_) {
      banked_ += static_cast<double>(ticks_() - runningSince_) / 1000.0;
    } else {
      runningSince_ = ticks_();
    }
  }
  realTime_ = on;
}

void Station::Tick() {
  if (!clockStarted_) return;
  const double now = Seconds();
  while (nextHappening_ < schedule_.size() && schedule_[nextHappening_].at <= now) {
    // Copied: firing may not touch the schedule, but keep it obvious.
    const Happening happening = schedule_[nextHappening_++];
    Fire(happening);
  }
}

void Station::Fire(const Happening& h) {
  switch (h.kind) {
    case Happening::kDelivery: {
      SimDelivery d = h.delivery;
      if (d.flags & SIM_DELIVERY_AUTO_DATE) {
        d.completedDate = DateAt(h.at);  // when it was due, not when seen
        d.flags &= ~SIM_DELIVERY_AUTO_DATE;
      }
      if (DeliveryIdTaken(d.id)) d.id = 0;  // taken meanwhile by a test
      AddDelivery(d);
      break;
    }
    case Happening::kPumpState:
      if (SimPump* pump = FindPumpNumber(h.pumpNumber)) {
        if (h.setsHose) pump->currentHoseId = h.hoseId;
        if (h.setsVolume) pump->currentVolume = h.volume;
        if (h.setsValue) pump->currentValue = h.value;
        pump->resumeState = ResumeStateFor(h.state);
        SetState(*pump, h.state);
      }
      break;
    case Happening::kEvent: {
      Event event;
      event.type = h.eventType;
      Raise(event);
      break;
    }
    case Happening::kLink:
      own_.linkUp = h.linkUp;
      for (ClientState* client : attached_) client->linkUp = h.linkUp;
      break;
  }
}

// Clients.

void Station::Attach(ClientState& client) { attached_.push_back(&client); }

void Station::Detach(ClientState& client) {
  attached_.erase(std::remove(attached_.begin(), attached_.end(), &client), attached_.end());
  for (auto it = lockHolders_.begin(); it != lockHolders_.end();) {
    if (it->second != &client) {
      ++it;
      continue;
    }
    const auto d = FindWaiting(it->first);
    if (d != waiting_.end()) d->lockedBy = -1;
    it = lockHolders_.erase(it);
  }
}

bool Station::AnyoneLoggedOn() const {
  if (own_.loggedOn) return true;
  return std::any_of(attached_.begin(), attached_.end(),
                     [](const ClientState* c) { return c->loggedOn; });
}

// Session.

int32_t Station::Logon(const LogonArgs& args, ClientState* client) {
  // A new session: the line comes up and the event queue starts empty.
  ClientState& c = Of(client);
  c.loggedOn = true;
  c.linkUp = true;
  ++c.logons;
  c.logon = args;
  c.transit.clear();
  c.queue.clear();
  StartClock();
  Tick();
  return SIM_OK;
}

int32_t Station::Logoff(ClientState* client) {
  ClientState& c = Of(client);
  if (!c.loggedOn) return SIM_ERR_NOT_CONNECTED;
  c.loggedOn = false;
  c.transit.clear();
  c.queue.clear();
  return SIM_OK;
}

int32_t Station::Connected(const ClientState* client) const {
  const ClientState& c = Of(client);
  return c.loggedOn && c.linkUp ? SIM_OK : SIM_ERR_NOT_CONNECTED;
}

SimSession Station::Session(const ClientState* client) const {
  const ClientState& c = Of(client);
  SimSession s{};
  s.loggedOn = c.loggedOn;
  s.linkUp = c.linkUp;
  s.logons = c.logons;
  s.clientId = c.logon.clientId;
  s.clientType = c.logon.clientType;
  s.callPort = c.logon.callPort;
  s.eventPort = c.logon.eventPort;
  s.timeout = c.logon.timeout;
  s.handle = c.logon.handle;
  s.hWnd = c.logon.hWnd;
  s.hMsg = c.logon.hMsg;
  const size_t n = std::min(c.logon.server.size(), sizeof s.serverAddress - 1);
  std::memcpy(s.serverAddress, c.logon.server.data(), n);
  s.serverAddress[n] = '\0';
  return s;
}

// Operations.

int32_t Station::PumpsCount(int32_t& count, const ClientState* c) const {
  if (const int32_t r = Connected(c)) return r;
  count = static_cast<int32_t>(pumps_.size());
  return SIM_OK;
}

int32_t Station::ProcessEvents(ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  ClientState& client = Of(c);
  while (!client.transit.empty()) {
    client.queue.push_back(std::move(client.transit.front()));
    client.transit.pop_front();
  }
  return SIM_OK;
}

int32_t Station::EventsCount(int32_t& count, const ClientState* c) const {
  if (const int32_t r = Connected(c)) return r;
  count = static_cast<int32_t>(Of(c).queue.size());
  return SIM_OK;
}

int32_t Station::NextEventType(int32_t& type, const ClientState* c) const {
  if (const int32_t r = Connected(c)) return r;
  const std::deque<Event>& queue = Of(c).queue;
  if (queue.empty()) return SIM_ERR_NO_EVENT;
  type = queue.front().type;
  return SIM_OK;
}

int32_t Station::TakePumpEvent(PumpEvent& event, ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  std::deque<Event>& queue = Of(c).queue;
  if (queue.empty()) return SIM_ERR_NO_EVENT;
  if (queue.front().type != SIM_EVENT_PUMP) return SIM_ERR_WRONG_EVENT;
  event = std::move(queue.front().pump);
  queue.pop_front();
  return SIM_OK;
}

int32_t Station::DiscardEvent(ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  std::deque<Event>& queue = Of(c).queue;
  if (queue.empty()) return SIM_ERR_NO_EVENT;
  queue.pop_front();
  return SIM_OK;
}

int32_t Station::DeliveriesCount(int32_t& count, const ClientState* c) const {
  if (const int32_t r = Connected(c)) return r;
  count = static_cast<int32_t>(waiting_.size());
  return SIM_OK;
}

int32_t Station::DeliveryByOrdinal(int32_t ordinal, int32_t& id, const ClientState* c) const {
  if (const int32_t r = Connected(c)) return r;
  return IdAtOrdinal(waiting_, ordinal, SIM_ERR_NO_DELIVERY, id);
}

int32_t Station::Delivery(int32_t id, SimDelivery& delivery, int32_t& age,
                          const ClientState* c) const {
  if (const int32_t r = Connected(c)) return r;
  for (const SimDelivery& d : waiting_) {
    if (d.id != id) continue;
    delivery = d;
    const double seconds = (Now() - d.completedDate) * 86400.0;
    age = static_cast<int32_t>(std::clamp(std::round(seconds), 0.0, 2e9));
    return SIM_OK;
  }
  return SIM_ERR_NOT_FOUND;
}

int32_t Station::LockDelivery(int32_t id, ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  const auto it = FindWaiting(id);
  if (it == waiting_.end()) return SIM_ERR_NOT_FOUND;
  const int32_t clientId = Of(c).logon.clientId;
  if (it->lockedBy != -1 && it->lockedBy != clientId) {
    return SIM_ERR_LOCKED_BY_OTHER;
  }
  it->lockedBy = clientId;
  if (c) lockHolders_[id] = c;
  return SIM_OK;
}

int32_t Station::ClearDelivery(int32_t id, int16_t type, ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  const auto it = FindWaiting(id);
  if (it == waiting_.end()) return SIM_ERR_NOT_FOUND;
  if (it->lockedBy != Of(c).logon.clientId) return SIM_ERR_NOT_LOCKED;
  if (it->type != type) return SIM_ERR_TYPE_MISMATCH;
  SimDelivery d = *it;
  d.clearedDate = Now();
  waiting_.erase(it);
  lockHolders_.erase(id);
  cleared_.push_back(d);
  return SIM_OK;
}

int32_t Station::HoseByOrdinal(int32_t ordinal, int32_t& id, const ClientState* c) const {
  if (const int32_t r = Connected(c)) return r;
  return IdAtOrdinal(hoses_, ordinal, SIM_ERR_NOT_FOUND, id);
}

int32_t Station::Hose(int32_t id, SimHose& hose, const ClientState* c) const {
  if (const int32_t r = Connected(c)) return r;
  return DescribeHose(id, hose) ? SIM_OK : SIM_ERR_NOT_FOUND;
}

bool Station::DescribeHose(int32_t id, SimHose& hose) const {
  for (size_t i = 0; i < hoses_.size(); ++i) {
    if (hoses_[i].id != id) continue;
    hose = hoses_[i];
    hose.ordinal = static_cast<int32_t>(i + 1);
    return true;
  }
  return false;
}

int32_t Station::SetHosePrices(int32_t id, int32_t durationType, int16_t priceType, double price1,
                               double price2, ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  // Duration 1 = temporary, 2 = permanent (the simulator keeps both alike);
  // price type 1 = price per volume unit, the only kind it knows.
  if (durationType != 1 && durationType != 2) return SIM_ERR_BAD_ARGUMENT;
  if (priceType != 1) return SIM_ERR_BAD_ARGUMENT;
  if (!(price1 > 0) || !(price2 > 0) || !std::isfinite(price1) || !std::isfinite(price2)) {
    return SIM_ERR_BAD_ARGUMENT;
  }
  SimHose* hose = FindHose(id);
  if (!hose) return SIM_ERR_NOT_FOUND;
  hose->price = price1;
  hose->price2 = price2;
  return SIM_OK;
}

int32_t Station::Authorise(int32_t pumpId, ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  SimPump* pump = FindPump(pumpId);
  if (!pump) return SIM_ERR_NOT_FOUND;
  switch (pump->state) {
    case SIM_PUMP_IDLE:
    case SIM_PUMP_FINISHED:
      SetState(*pump, SIM_PUMP_AUTHORISED);
      return SIM_OK;
    case SIM_PUMP_CALLING:
    case SIM_PUMP_CALLING_STACKED:
      // The nozzle is already up: fuel flows at once.
      pump->currentVolume = 0;
      pump->currentValue = 0;
      SetState(*pump, SIM_PUMP_DELIVERING);
      return SIM_OK;
    case SIM_PUMP_AUTHORISED:
      return SIM_OK;
    default:
      return SIM_ERR_PUMP_STATE;
  }
}

int32_t Station::TempStop(int32_t pumpId, ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  SimPump* pump = FindPump(pumpId);
  if (!pump) return SIM_ERR_NOT_FOUND;
  if (IsStopped(pump->state)) return SIM_OK;
  if (!IsStoppable(pump->state)) return SIM_ERR_PUMP_STATE;
  Stop(*pump);
  return SIM_OK;
}

int32_t Station::ReAuthorise(int32_t pumpId, ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  SimPump* pump = FindPump(pumpId);
  if (!pump) return SIM_ERR_NOT_FOUND;
  if (!IsStopped(pump->state)) return SIM_ERR_PUMP_STATE;
  Resume(*pump);
  return SIM_OK;
}

int32_t Station::AllStop(ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  for (SimPump& pump : pumps_) {
    if (IsStoppable(pump.state)) Stop(pump);
  }
  return SIM_OK;
}

int32_t Station::AllReAuthorise(ClientState* c) {
  if (const int32_t r = Connected(c)) return r;
  for (SimPump& pump : pumps_) {
    if (IsStopped(pump.state)) Resume(pump);
  }
  return SIM_OK;
}

// A person at the forecourt.

int32_t Station::LiftNozzle(int32_t hoseId) {
  SimHose* hose = FindHose(hoseId);
  if (!hose) return SIM_ERR_NOT_FOUND;
  SimPump* pump = FindPump(hose->pumpId);
  if (!pump) return SIM_ERR_NOT_FOUND;
  pump->currentHoseId = hose->id;
  pump->currentVolume = 0;
  pump->currentValue = 0;
  switch (pump->state) {
    case SIM_PUMP_IDLE:
    case SIM_PUMP_FINISHED:
      SetState(*pump, SIM_PUMP_CALLING);
      return SIM_OK;
    case SIM_PUMP_AUTHORISED:
      SetState(*pump, SIM_PUMP_DELIVERING);
      return SIM_OK;
    default:
      return SIM_ERR_PUMP_STATE;
  }
}

int32_t Station::Dispense(int32_t pumpNumber, double volume) {
  SimPump* pump = FindPumpNumber(pumpNumber);
  if (!pump) return SIM_ERR_NOT_FOUND;
  if (!std::isfinite(volume) || volume <= 0) return SIM_ERR_BAD_ARGUMENT;
  if (pump->state != SIM_PUMP_DELIVERING) return SIM_ERR_PUMP_STATE;
  const SimHose* hose = FindHose(pump->currentHoseId);
  if (!hose) return SIM_ERR_PUMP_STATE;
  pump->currentVolume = Litres(pump->currentVolume + volume);
  pump->currentValue = AmountOf(pump->currentVolume, hose->price);
  SetState(*pump, SIM_PUMP_DELIVERING);
  return SIM_OK;
}

int32_t Station::HangUpNozzle(int32_t pumpNumber) {
  SimPump* pump = FindPumpNumber(pumpNumber);
  if (!pump) return SIM_ERR_NOT_FOUND;
  const bool flowed = IsDelivering(pump->state) || pump->state == SIM_PUMP_DELIVERY_STOPPED;
  if (flowed && pump->currentVolume > 0) {
    const SimDelivery d = SimDeliveryDefaults(pump->currentHoseId, pump->currentVolume);
    if (const int32_t id = AddDelivery(d); id < 0) return -id;
  } else if (!flowed && pump->state != SIM_PUMP_CALLING &&
             pump->state != SIM_PUMP_CALLING_STACKED) {
    return SIM_ERR_PUMP_STATE;
  }
  pump->currentHoseId = 0;
  pump->currentVolume = 0;
  pump->currentValue = 0;
  pump->resumeState = SIM_PUMP_IDLE;
  SetState(*pump, SIM_PUMP_IDLE);
  return SIM_OK;
}

int32_t Station::SetHosePrice(int32_t hoseId, double price) {
  SimHose* hose = FindHose(hoseId);
  if (!hose) return SIM_ERR_NOT_FOUND;
  if (!(price > 0) || !std::isfinite(price)) return SIM_ERR_BAD_ARGUMENT;
  hose->price = price;
  hose->price2 = price;
  return SIM_OK;
}

// Pump states and events.

void Station::Stop(SimPump& pump) {
  pump.resumeState = pump.state;
  SetState(pump, IsDelivering(pump.state) ? SIM_PUMP_DELIVERY_STOPPED : SIM_PUMP_STOPPED);
}

void Station::Resume(SimPump& pump) {
  const int32_t state = pump.resumeState;
  pump.resumeState = ResumeStateFor(state);
  SetState(pump, state);
}

void Station::SetState(SimPump& pump, int32_t state) {
  pump.state = static_cast<int16_t>(state);
  Event event;
  event.type = SIM_EVENT_PUMP;
  event.pump = Snapshot(pump);
  Raise(std::move(event));
}

PumpEvent Station::Snapshot(const SimPump& pump) const {
  PumpEvent e;
  e.pumpId = pump.id;
  e.pumpNumber = static_cast<int16_t>(pump.number);
  e.pumpState = static_cast<int16_t>(pump.state);
  e.pumpName = pump.name;
  e.volume = pump.currentVolume;
  e.value = pump.currentValue;
  if (const SimHose* hose = FindHose(pump.currentHoseId)) {
    e.hoseId = hose->id;
    e.hoseNumber = static_cast<int16_t>(hose->number);
    e.priceLevel = 1;
    e.price = hose->price;
    if (const SimGrade* grade = FindGrade(hose->gradeId)) {
      e.gradeId = grade->id;
      e.gradeNumber = static_cast<int16_t>(grade->number);
      e.gradeName = grade->name;
      e.shortGradeName = grade->shortName;
    }
  }
  for (const SimDelivery& d : waiting_) {
    const SimHose* hose = FindHose(d.hoseId);
    if (hose && hose->pumpId == pump.id) ++e.stackSize;
  }
  return e;
}

void Station::Raise(Event event) {
  // Without a session nobody hears it.
  auto hear = [&event](ClientState& client) {
    if (!client.loggedOn) return;
    client.transit.push_back(event);
    if (client.keepsOutbox) client.outbox.push_back(event);
  };
  hear(own_);
  for (ClientState* client : attached_) hear(*client);
}

// Look-ups.

namespace {

// The first item whose `field` equals `value`, or null.
template <class Items,
          class Item = std::remove_reference_t<decltype(*std::declval<Items&>().begin())>>
Item* FindBy(Items& items, int32_t std::remove_const_t<Item>::*field, int32_t value) {
  for (Item& item : items)
    if (item.*field == value) return &item;
  return nullptr;
}

}  // namespace

SimPump* Station::FindPump(int32_t id) { return FindBy(pumps_, &SimPump::id, id); }

SimPump* Station::FindPumpNumber(int32_t number) {
  return FindBy(pumps_, &SimPump::number, number);
}

const SimPump* Station::PumpByNumber(int32_t number) const {
  return FindBy(pumps_, &SimPump::number, number);
}

SimHose* Station::FindHose(int32_t id) { return FindBy(hoses_, &SimHose::id, id); }

const SimHose* Station::FindHose(int32_t id) const { return FindBy(hoses_, &SimHose::id, id); }

const SimGrade* Station::FindGrade(int32_t id) const { return FindBy(grades_, &SimGrade::id, id); }

bool Station::DeliveryIdTaken(int32_t id) const {
  if (id == 0) return false;
  for (const SimDelivery& d : waiting_) {
    if (d.id == id) return true;
  }
  for (const SimDelivery& d : cleared_) {
    if (d.id == id) return true;
  }
  return false;
}

std::vector<SimDelivery>::iterator Station::FindWaiting(int32_t id) {
  return std::find_if(waiting_.begin(), waiting_.end(),
                      [id](const SimDelivery& d) { return d.id == id; });
}

}  // namespace qxsim
