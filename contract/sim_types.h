// Plain data shared by the simulated client library and the programs that
// drive it: result codes, pump states, event types and the records of the
// forecourt model. Fixed-width fields only, no Windows types, so that the
// model behind the exports builds and reads like any C++.
#pragma once

#include <cstdint>

// Result codes of the simulated QXClient.dll. 0 is success, as the driver
// expects; the others are this simulator's own closed set. An injected
// fault (SimFailCall) may return any other non-zero code as well.
enum SimResultCode : int32_t {
  SIM_OK = 0,
  SIM_ERR_NOT_CONNECTED = 1,    // not logged on, or the line to the server is down
  SIM_ERR_BAD_ARGUMENT = 2,     // an argument outside its range
  SIM_ERR_NOT_FOUND = 3,        // no pump, hose or delivery with that identifier or ordinal
  SIM_ERR_NO_DELIVERY = 4,      // no finished delivery at that place in the list
  SIM_ERR_LOCKED_BY_OTHER = 5,  // the delivery is locked by another client
  SIM_ERR_NOT_LOCKED = 6,       // the delivery is not locked by this client
  SIM_ERR_TYPE_MISMATCH = 7,    // the delivery is of another type
  SIM_ERR_NO_EVENT = 8,         // the event queue is empty
  SIM_ERR_WRONG_EVENT = 9,      // the next event is of another kind
  SIM_ERR_PUMP_STATE = 10,      // the pump's state does not allow the command
  SIM_ERR_SCENARIO = 11,        // the scenario file could not be loaded at logon
  SIM_ERR_INTERNAL = 12,        // the simulator itself failed (out of memory)
  SIM_ERR_NO_SERVER = 13,       // network mode: the server could not be reached at logon
  SIM_ERR_TRACE = 14,           // trace replay: the call is not the trace's next one, or
                                // an earlier call was not (or the trace cannot be read)
  SIM_ERR_NOT_SUPPORTED = 99,   // an entry point that the simulator does not implement
};

// Controller pump states, as pump events carry them (signed 16-bit).
enum SimPumpState : int32_t {
  SIM_PUMP_UNKNOWN = 0,  // never heard from
  SIM_PUMP_NOT_INSTALLED = 1,
  SIM_PUMP_NOT_RESPONDING = 2,  // offline
  SIM_PUMP_STOPPED = 3,         // stopped while not delivering
  SIM_PUMP_IDLE = 4,            // ready, nozzle in place
  SIM_PUMP_AUTHORISED = 5,      // authorised, waiting for the nozzle
  SIM_PUMP_RESERVED = 6,        // reserved for a prepay or preauth
  SIM_PUMP_CALLING = 7,         // nozzle lifted, waiting for authorisation
  SIM_PUMP_DELIVERING = 8,
  SIM_PUMP_DELIVERY_STOPPED = 9,  // stopped during a delivery
  SIM_PUMP_CALLING_STACKED = 10,  // calling while its last delivery is unpaid
  SIM_PUMP_STARTING = 11,         // authorised and lifted, before the flow
  SIM_PUMP_FINISHING = 12,        // flow ended, nozzle not yet hung up
  SIM_PUMP_FINISHED = 13,         // nozzle hung up, delivery waiting to be paid
  SIM_PUMP_LOCKED = 14,           // closed by the station
  SIM_PUMP_ERROR = 15,
};

// Event types, as GetNextEventType reports them. Only pump events come with
// data (GetNextPumpEventEx2); the simulator raises the others only when asked
// to (SimQueueOtherEvent, or an `event` line of a scenario).
enum SimEventType : int32_t {
  SIM_EVENT_PUMP = 1,
  SIM_EVENT_DELIVERY = 2,
  SIM_EVENT_SERVER = 3,
  SIM_EVENT_CLIENT = 4,
  SIM_EVENT_DB_LOG = 5,
  SIM_EVENT_DB_CLEAR_DELIVERY = 6,
  SIM_EVENT_DB_STACK_DELIVERY = 7,
  SIM_EVENT_DB_HOSE_TOTALS = 8,
  SIM_EVENT_DB_TRIGGER = 9,
  SIM_EVENT_DB_ATTENDANT_LOGON = 10,
  SIM_EVENT_DB_ATTENDANT_LOGOFF = 11,
  SIM_EVENT_DB_TANK_STATUS = 12,
};

// Delivery states and types. They pass through the simulator unchanged; only
// their names are given here.
enum SimDeliveryState : int32_t {
  SIM_DELIVERY_CURRENT = 1,    // still under way
  SIM_DELIVERY_COMPLETED = 2,  // finished, waiting to be paid and cleared
  SIM_DELIVERY_OFFLINE = 3,    // recorded while the pump was out of contact
};
enum SimDeliveryType : int32_t {
  SIM_DELIVERY_POSTPAY = 1,
  SIM_DELIVERY_PREPAY = 2,
  SIM_DELIVERY_PREAUTH = 3,
  SIM_DELIVERY_ATTENDANT = 4,
  SIM_DELIVERY_TEST = 5,
};

// SimDelivery::flags: values that the simulator works out when the delivery
// enters the list, instead of taking them from the record.
enum SimDeliveryFlags : int32_t {
  SIM_DELIVERY_AUTO_DATE = 1,    // completedDate := the simulated clock's now
  SIM_DELIVERY_AUTO_PRICE = 2,   // unitPrice := the hose's price
  SIM_DELIVERY_AUTO_AMOUNT = 4,  // amount := volume * unitPrice, to the cent
  SIM_DELIVERY_AUTO_TOTALS = 8,  // start and end totals from the hose, which
                                 // advances by the delivery's volume and amount
  SIM_DELIVERY_AUTO_ALL = 15,
  SIM_DELIVERY_GIVEN_ID = 16,  // id as given, 0 included: a controller's odd
                               // identifier
};

// A fuel grade. Names are UTF-8; pump events hand them out as BSTRs.
struct SimGrade {
  int32_t id;
  int32_t number;
  char name[40];
  char shortName[12];
};

// A pump. Commands name it by id, pump events by number.
struct SimPump {
  double currentVolume;  // volume and value of the delivery under way, as its
  double currentValue;   //   pump events carry them
  int32_t id;
  int32_t number;         // from 1; the driver's position in its status text
  int32_t state;          // SimPumpState
  int32_t resumeState;    // what ReAuthorise returns to (read only)
  int32_t currentHoseId;  // hose lifted or delivering, 0 for none
  char name[32];
};

// A hose (nozzle). Its identifier need not equal its ordinal.
struct SimHose {
  double price;        // price level 1 (GetHosePropertiesEx2 output 10)
  double price2;       // price level 2 (output 11)
  double totalizer;    // volume totalizer as the meter shows it (output 8)
  double volumeTotal;  // volume, value and second volume dispensed since
  double valueTotal;   //   the forecourt was set up (outputs 5, 6, 7)
  double volume2Total;
  int32_t id;
  int32_t pumpId;
  int32_t number;   // on its pump, from 1; 0 on adding = next free
  int32_t gradeId;  // 0 for none
  int32_t tankId;
  int32_t ordinal;  // place in the controller's hose list (read only)
};

// A finished delivery, with everything GetDeliveryPropertiesEx2 returns.
struct SimDelivery {
  double volume;             // output 4
  double unitPrice;          // output 6
  double amount;             // output 7
  double volume2;            // output 8
  double completedDate;      // output 9, OLE Automation date
  double clearedDate;        // output 14, OLE Automation date, 0 until cleared
  double startTotalizer;     // output 15: hose volume totalizer before
  double startVolume2Total;  // output 16
  double startValueTotal;    // output 17
  double endTotalizer;       // output 18: hose volume totalizer after
  double endVolume2Total;    // output 19
  double endValueTotal;      // output 20
  int64_t code;              // output 21
  int32_t id;                // 0 on adding = next free identifier
  int32_t hoseId;            // output 1
  int32_t state;             // output 2, SimDeliveryState
  int32_t type;              // output 3, SimDeliveryType
  int32_t priceLevel;        // output 5
  int32_t lockedBy;          // output 10: client id holding the lock, -1 = none
  int32_t reservedBy;        // output 11, -1 = none
  int32_t attendantId;       // output 12, -1 = none
  int32_t durationSeconds;   // output 22
  int32_t flags;             // SimDeliveryFlags, on adding only
};

// The session as the simulator sees it.
struct SimSession {
  int32_t loggedOn;  // a logon is in force (until ClientLogoff)
  int32_t linkUp;    // the line to the server is up (SimSetConnected)
  int32_t logons;    // successful ClientLogonEx calls since the reset
  int32_t clientId;  // arguments of the last successful ClientLogonEx
  int32_t clientType;
  int32_t callPort;
  int32_t eventPort;
  int32_t timeout;
  int32_t handle;
  int32_t hWnd;
  int32_t hMsg;
  char serverAddress[64];  // UTF-8
};

// A delivery of `volume` at `hoseId` whose price, amount, date and totals the
// simulator fills in: completed, postpay, not locked.
inline SimDelivery SimDeliveryDefaults(int32_t hoseId, double volume) {
  SimDelivery d{};
  d.hoseId = hoseId;
  d.volume = volume;
  d.state = SIM_DELIVERY_COMPLETED;
  d.type = SIM_DELIVERY_POSTPAY;
  d.priceLevel = 1;
  d.lockedBy = -1;
  d.reservedBy = -1;
  d.attendantId = -1;
  d.durationSeconds = 60;
  d.flags = SIM_DELIVERY_AUTO_ALL;
  return d;
}
