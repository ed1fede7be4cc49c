#include "sim/model/remote.h"

#include <chrono>
#include <cmath>
#include <string>
#include <utility>

#include <asio.hpp>

#include "sim/model/platform.h"
#include "sim/model/protocol.h"

namespace qxsim {

using asio::ip::tcp;
using wire::Json;

struct RemoteStation::Link {
  asio::io_context io;
  tcp::socket call{io};
  tcp::socket events{io};
  std::string pending;  // bytes of the event connection not yet a frame

  // Starts one asynchronous operation and runs the loop until it ends or
  // `ms` have passed; on time-out both sockets close and the result is
  // timed_out.
  template <class Start>
  asio::error_code Await(int ms, Start start) {
    asio::error_code result = asio::error::would_block;
    start([&result](const asio::error_code& ec, auto&&...) { result = ec; });
    io.restart();
    io.run_for(std::chrono::milliseconds(ms));
    if (result == asio::error::would_block) {
      asio::error_code ignored;
      call.close(ignored);
      events.close(ignored);
      io.restart();
      io.run();  // lets the cancelled operation finish
      return asio::error::timed_out;
    }
    return result;
  }

  bool Send(tcp::socket& socket, const Json& message, int ms) {
    const std::string frame = wire::Frame(message);
    return !Await(ms,
                  [&](auto handler) { asio::async_write(socket, asio::buffer(frame), handler); });
  }

  bool Receive(tcp::socket& socket, Json& message, int ms) {
    unsigned char header[wire::kHeaderBytes];
    if (Await(ms, [&](auto handler) { asio::async_read(socket, asio::buffer(header), handler); })) {
      return false;
    }
    const uint32_t n = wire::BodyLength(header);
    if (n == 0) return false;
    std::string body(n, '\0');
    if (Await(ms, [&](auto handler) {
          asio::async_read(socket, asio::buffer(&body[0], n), handler);
        })) {
      return false;
    }
    return wire::Parse(body, message);
  }

  bool Connect(tcp::socket& socket, const std::string& host, uint16_t port, int ms) {
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(host, ec);
    if (!ec) {
      return !Await(
          ms, [&](auto handler) { socket.async_connect(tcp::endpoint(address, port), handler); });
    }
    tcp::resolver resolver(io);
    const auto endpoints = resolver.resolve(host, std::to_string(port), ec);
    if (ec) return false;
    return !Await(ms, [&](auto handler) { asio::async_connect(socket, endpoints, handler); });
  }
};

namespace {

bool IsKind(const Json& m, const char* kind) { return m["kind"] == kind; }

// A welcome of this protocol version; the call connection's also hands
// out the key that the event connection must name.
bool WelcomeOf(const Json& m, int32_t& session, std::string* key = nullptr) {
  int64_t version = 0, id = 0;
  if (!IsKind(m, wire::kWelcome) || !m.contains("version") || !m.contains("session") ||
      !wire::ReadInt(m["version"], 0, INT32_MAX, version) ||
      !wire::ReadInt(m["session"], 1, INT32_MAX, id) || version != wire::kVersion) {
    return false;
  }
  if (key) {
    if (!m.contains("key") || !m["key"].is_string() ||
        m["key"].get_ref<const std::string&>().size() != wire::kKeyDigits) {
      return false;
    }
    *key = m["key"].get<std::string>();
  }
  session = static_cast<int32_t>(id);
  return true;
}

}  // namespace

RemoteStation::RemoteStation() = default;
RemoteStation::~RemoteStation() = default;

bool RemoteStation::linked() const { return link_ != nullptr; }

void RemoteStation::Close() {
  if (!link_) return;
  asio::error_code ignored;
  link_->call.close(ignored);
  link_->events.close(ignored);
  link_.reset();
}

int32_t RemoteStation::Logon(const LogonArgs& args) {
  Close();
  timeoutMs_ = args.timeout > 0 ? args.timeout : 10000;
  auto link = std::make_unique<Link>();
  const std::string host = args.server.empty() ? "127.0.0.1" : args.server;
  int32_t session = 0, echoed = 0;
  std::string key;
  // A server open beyond its machine asks every host for its access token.
  std::string token = EnvironmentText("QXSIM_TOKEN");
  if (token.size() > wire::kKeyDigits) token.resize(wire::kKeyDigits);
  Json reply;
  const bool reached = link->Connect(link->call, host, args.callPort, timeoutMs_) &&
                       link->Send(link->call, wire::CallHello(token), timeoutMs_) &&
                       link->Receive(link->call, reply, timeoutMs_) &&
                       WelcomeOf(reply, session, &key) &&
                       link->Connect(link->events, host, args.eventPort, timeoutMs_) &&
                       link->Send(link->events, wire::EventsHello(session, key), timeoutMs_) &&
                       link->Receive(link->events, reply, timeoutMs_) && WelcomeOf(reply, echoed) &&
                       echoed == session;
  if (!reached) return SIM_ERR_NO_SERVER;
  asio::error_code ec;
  link->events.non_blocking(true, ec);
  link->call.set_option(tcp::no_delay(true), ec);
  link_ = std::move(link);
  return Request("ClientLogonEx",
                 Json::array({args.clientId, args.clientType, args.server, args.callPort,
                              args.eventPort, args.timeout, args.handle, args.hWnd, args.hMsg}));
}

int32_t RemoteStation::Request(const char* op, Json args, Json* out) {
  if (!link_) return SIM_ERR_NOT_CONNECTED;
  Json reply;
  int64_t result = 0;
  if (!link_->Send(link_->call, wire::Call(op, std::move(args)), timeoutMs_) ||
      !link_->Receive(link_->call, reply, timeoutMs_) || !IsKind(reply, wire::kResult) ||
      !reply.contains("result") || !wire::ReadInt(reply["result"], INT32_MIN, INT32_MAX, result) ||
      !reply.contains("out") || !reply["out"].is_array()) {
    Close();
    return SIM_ERR_NOT_CONNECTED;
  }
  if (out) *out = std::move(reply["out"]);
  return static_cast<int32_t>(result);
}

int32_t RemoteStation::Simple(const char* op, Json args) { return Request(op, std::move(args)); }

int32_t RemoteStation::OneInt(const char* op, Json args, int32_t& value) {
  Json out;
  const int32_t r = Request(op, std::move(args), &out);
  if (r != SIM_OK) return r;
  int64_t n = 0;
  if (out.size() != 1 || !wire::ReadInt(out[0], INT32_MIN, INT32_MAX, n)) {
    Close();
    return SIM_ERR_NOT_CONNECTED;
  }
  value = static_cast<int32_t>(n);
  return SIM_OK;
}

// Reads what the event connection holds without waiting. False when the
// server has closed it or sent something that is not a frame.
bool RemoteStation::DrainEvents() {
  char buffer[4096];
  for (;;) {
    asio::error_code ec;
    const size_t n = link_->events.read_some(asio::buffer(buffer), ec);
    if (ec == asio::error::would_block || ec == asio::error::try_again) break;
    if (ec) return false;
    link_->pending.append(buffer, n);
  }
  std::string& pending = link_->pending;
  while (pending.size() >= wire::kHeaderBytes) {
    unsigned char header[wire::kHeaderBytes];
    for (size_t i = 0; i < wire::kHeaderBytes; ++i) {
      header[i] = static_cast<unsigned char>(pending[i]);
    }
    const uint32_t n = wire::BodyLength(header);
    if (n == 0) return false;
    if (pending.size() < wire::kHeaderBytes + n) break;
    Json message;
    if (!wire::Parse(pending.substr(wire::kHeaderBytes, n), message) ||
        !IsKind(message, wire::kEvent)) {
      return false;
    }
    ++eventsHeard_;
    pending.erase(0, wire::kHeaderBytes + n);
  }
  return true;
}

int32_t RemoteStation::Logoff() {
  const int32_t r = Simple("ClientLogoff");
  Close();
  return r;
}

int32_t RemoteStation::Connected() { return Simple("TestConnection"); }

int32_t RemoteStation::PumpsCount(int32_t& count) {
  return OneInt("GetPumpsCount", Json::array(), count);
}

int32_t RemoteStation::ProcessEvents() {
  if (link_ && !DrainEvents()) Close();
  return Simple("ProcessEvents");
}

int32_t RemoteStation::EventsCount(int32_t& count) {
  return OneInt("GetEventsCount", Json::array(), count);
}

int32_t RemoteStation::NextEventType(int32_t& type) {
  return OneInt("GetNextEventType", Json::array(), type);
}

int32_t RemoteStation::TakePumpEvent(PumpEvent& event) {
  Json out;
  const int32_t r = Request("GetNextPumpEventEx2", Json::array(), &out);
  if (r != SIM_OK) return r;
  if (!wire::PumpEventFrom(out, event)) {
    Close();
    return SIM_ERR_NOT_CONNECTED;
  }
  return SIM_OK;
}

int32_t RemoteStation::DiscardEvent() { return Simple("DiscardNextEvent"); }

int32_t RemoteStation::DeliveriesCount(int32_t& count) {
  return OneInt("GetDeliveriesCount", Json::array(), count);
}

int32_t RemoteStation::DeliveryByOrdinal(int32_t ordinal, int32_t& id) {
  return OneInt("GetDeliveryByOrdinal", Json::array({ordinal}), id);
}

int32_t RemoteStation::Delivery(int32_t id, SimDelivery& delivery, int32_t& age) {
  Json out;
  const int32_t r = Request("GetDeliveryPropertiesEx2", Json::array({id}), &out);
  if (r != SIM_OK) return r;
  SimDelivery d{};
  d.id = id;
  if (!wire::DeliveryFrom(out, d, age)) {
    Close();
    return SIM_ERR_NOT_CONNECTED;
  }
  delivery = d;
  return SIM_OK;
}

int32_t RemoteStation::LockDelivery(int32_t id) {
  return Simple("LockDelivery", Json::array({id}));
}

int32_t RemoteStation::ClearDelivery(int32_t id, int16_t type) {
  return Simple("ClearDelivery", Json::array({id, type}));
}

int32_t RemoteStation::HoseByOrdinal(int32_t ordinal, int32_t& id) {
  return OneInt("GetHoseByOrdinal", Json::array({ordinal}), id);
}

int32_t RemoteStation::Hose(int32_t id, SimHose& hose) {
  Json out;
  const int32_t r = Request("GetHosePropertiesEx2", Json::array({id}), &out);
  if (r != SIM_OK) return r;
  SimHose h{};
  h.id = id;
  if (!wire::HoseFrom(out, h)) {
    Close();
    return SIM_ERR_NOT_CONNECTED;
  }
  hose = h;
  return SIM_OK;
}

int32_t RemoteStation::SetHosePrices(int32_t id, int32_t durationType, int16_t priceType,
                                     double price1, double price2) {
  // JSON has no infinities or NaN; such a price is refused here, as the
  // station would refuse it.
  if (!std::isfinite(price1) || !std::isfinite(price2)) {
    return link_ ? SIM_ERR_BAD_ARGUMENT : SIM_ERR_NOT_CONNECTED;
  }
  return Simple("SetHosePrices", Json::array({id, durationType, priceType, price1, price2}));
}

int32_t RemoteStation::Authorise(int32_t pumpId) {
  return Simple("Authorise", Json::array({pumpId}));
}

int32_t RemoteStation::TempStop(int32_t pumpId) {
  return Simple("TempStop", Json::array({pumpId}));
}

int32_t RemoteStation::ReAuthorise(int32_t pumpId) {
  return Simple("ReAuthorise", Json::array({pumpId}));
}

int32_t RemoteStation::AllStop() { return Simple("AllStop"); }

int32_t RemoteStation::AllReAuthorise() { return Simple("AllReAuthorise"); }

}  // namespace qxsim
