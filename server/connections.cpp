#include "server/connections.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

#include "server/calls.h"
#include "server/replay_hook.h"
#include "sim/scenario.h"

namespace qxserver {

using asio::ip::tcp;
using qxsim::wire::Json;

namespace {

constexpr auto kTick = std::chrono::milliseconds(50);
constexpr size_t kLogKeep = 200;
constexpr double kFlowPerTick = 0.25;  // litres: 5 L/s, a real nozzle's pace
// Event frames waiting for a client that does not read its event
// connection; beyond this the oldest go (its queue on the server is whole).
constexpr size_t kMaxEventFrames = 4096;

}  // namespace

Server::Server(asio::io_context& io, qxsim::Station& station,
               const Options& options)
    : io_(io),
      station_(station),
      options_(options),
      calls_(io),
      events_(io),
      timer_(io) {
  station_.Attach(panel_);
  qxsim::LogonArgs panel;
  panel.server = "panel";
  station_.Logon(panel, &panel_);
}

Server::~Server() { station_.Detach(panel_); }

bool Server::Listen(std::string& error) {
  asio::error_code ec;
  const asio::ip::address address = asio::ip::make_address(options_.bind, ec);
  if (ec) {
    error = "'" + options_.bind + "' is not an IP address";
    return false;
  }
  auto open = [&](tcp::acceptor& acceptor, uint16_t port, uint16_t& bound) {
    const tcp::endpoint endpoint(address, port);
    acceptor.open(endpoint.protocol(), ec);
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
      error = "cannot listen on " + options_.bind + ":" + std::to_string(port) +
              ": " + ec.message();
      return false;
    }
    bound = acceptor.local_endpoint().port();
    return true;
  };
  if (!open(calls_, options_.callPort, callPort_) ||
      !open(events_, options_.eventPort, eventPort_)) {
    return false;
  }
  AcceptCalls();
  AcceptEvents();
  Tick();
  return true;
}

void Server::Stop() {
  if (stopping_) return;
  stopping_ = true;
  asio::error_code ignored;
  calls_.close(ignored);
  events_.close(ignored);
  timer_.cancel();
  for (const auto& socket : greeting_) socket->close(ignored);
  greeting_.clear();
  while (!clients_.empty()) Drop(clients_.begin()->second, "server stopping");
  if (onStop_) onStop_();
}

std::string Server::Name(const Client& client) const {
  return "client " + std::to_string(client.id) + " (" + client.peer + ")";
}

void Server::Log(const std::string& line) {
  const std::time_t now = std::time(nullptr);
  char stamp[16] = "";
  std::strftime(stamp, sizeof stamp, "%H:%M:%S", std::localtime(&now));
  if (!options_.quiet) {
    std::fprintf(stderr, "%s qxsim-server: %s\n", stamp, line.c_str());
  }
  std::lock_guard<std::mutex> hold(shared_);
  log_.emplace_back(++logged_, std::string(stamp) + " " + line);
  if (log_.size() > kLogKeep) log_.pop_front();
  ++version_;
}

void Server::Changed() {
  std::lock_guard<std::mutex> hold(shared_);
  ++version_;
}

uint64_t Server::version() const {
  std::lock_guard<std::mutex> hold(shared_);
  return version_;
}

Json Server::LogSince(uint64_t after) const {
  std::lock_guard<std::mutex> hold(shared_);
  Json lines = Json::array();
  for (const auto& [seq, text] : log_) {
    if (seq > after) lines.push_back({{"seq", seq}, {"text", text}});
  }
  return lines;
}

// The call connection.

void Server::AcceptCalls() {
  auto client = std::make_shared<Client>(io_);
  calls_.async_accept(client->call, [this, client](const asio::error_code& ec) {
    if (ec) {
      if (!stopping_) AcceptCalls();
      return;
    }
    client->id = nextClient_++;
    asio::error_code ignored;
    const tcp::endpoint peer = client->call.remote_endpoint(ignored);
    client->peer = peer.address().to_string() + ":" + std::to_string(peer.port());
    client->call.set_option(tcp::no_delay(true), ignored);
    clients_[client->id] = client;
    Log(Name(*client) + " connected");
    ReadFrame(client);
    AcceptCalls();
  });
}

void Server::ReadFrame(const ClientPtr& client) {
  asio::async_read(
      client->call, asio::buffer(client->header),
      [this, client](const asio::error_code& ec, size_t) {
        if (client->closed) return;
        if (ec) {
          Drop(client, ec == asio::error::eof ? "closed the connection"
                                              : "link lost: " + ec.message());
          return;
        }
        const uint32_t n = qxsim::wire::BodyLength(client->header);
        if (n == 0) {
          const uint32_t said = (uint32_t{client->header[0]} << 24) |
                                (uint32_t{client->header[1]} << 16) |
                                (uint32_t{client->header[2]} << 8) |
                                client->header[3];
          Drop(client, "frame of " + std::to_string(said) +
                           " bytes is outside 1.." +
                           std::to_string(qxsim::wire::kMaxBody));
          return;
        }
        client->body.assign(n, '\0');
        asio::async_read(
            client->call, asio::buffer(&client->body[0], n),
            [this, client](const asio::error_code& ec2, size_t) {
              if (client->closed) return;
              if (ec2) {
                Drop(client, "link lost in a frame: " + ec2.message());
                return;
              }
              Json message;
              if (!qxsim::wire::Parse(client->body, message)) {
                Drop(client, "frame is not a JSON message with a kind");
                return;
              }
              OnMessage(client, message);
            });
      });
}

void Server::OnMessage(const ClientPtr& client, const Json& m) {
  const std::string kind = m["kind"].get<std::string>();
  if (!client->welcomed) {
    int64_t version = 0;
    if (kind != qxsim::wire::kHello || !m.contains("role") ||
        m["role"] != qxsim::wire::kRoleCall) {
      Drop(client, "'" + kind.substr(0, 20) + "' before hello");
      return;
    }
    if (!m.contains("version") ||
        !qxsim::wire::ReadInt(m["version"], 0, INT32_MAX, version) ||
        version != qxsim::wire::kVersion) {
      Drop(client, "speaks another protocol version");
      return;
    }
    client->welcomed = true;
    client->state.keepsOutbox = true;
    station_.Attach(client->state);
    Reply(client, qxsim::wire::Welcome(client->id));
    return;
  }
  if (kind != qxsim::wire::kCall) {
    Drop(client, "'" + kind.substr(0, 20) + "' where a call was due");
    return;
  }
  CallOutcome call;
  if (!CheckCall(m, call)) {
    Drop(client, call.problem);
    return;
  }
  ++client->calls;
  if (replay_) {  // a trace answers, not the forecourt
    Reply(client, replay_->Answer(m));
    Changed();
    return;
  }
  station_.Tick();
  if (const auto hold = holds_.find(call.op); hold != holds_.end()) {
    const bool performed = hold->second;
    holds_.erase(hold);
    if (performed) Perform(station_, client->state, m, call);
    client->held = true;
    Log(Name(*client) + " " + call.op + (performed ? " done" : " not done") +
        " and held without an answer");
    PushEvents();
    Changed();
    return;
  }
  int32_t injected = 0;
  if (faults_.Fire(call.op.c_str(), injected)) {
    call.result = injected;
    Log(Name(*client) + " " + call.op + " failed on purpose with " +
        std::to_string(injected));
  } else if (call.op == "ClientLogonEx" &&
             cut_.count(static_cast<int32_t>(m["args"][0].get<int64_t>()))) {
    call.result = SIM_ERR_NOT_CONNECTED;
  } else {
    const bool wasOn = client->state.loggedOn;
    Perform(station_, client->state, m, call);
    if (call.op == "ClientLogonEx" && call.result == SIM_OK) {
      Log(Name(*client) + " logged on as client id " +
          std::to_string(client->state.logon.clientId));
    } else if (call.op == "ClientLogoff" && wasOn) {
      Log(Name(*client) + " logged off");
    } else if ((call.op == "LockDelivery" || call.op == "ClearDelivery") &&
               call.result == SIM_OK) {
      Log(Name(*client) + " " + call.op + " " + m["args"][0].dump());
    }
  }
  Reply(client, qxsim::wire::Result(call.result, std::move(call.out)));
  PushEvents();
  Changed();
}

void Server::Reply(const ClientPtr& client, const Json& message) {
  try {
    client->reply = qxsim::wire::Frame(message);
  } catch (const std::exception&) {  // text that is not UTF-8
    client->reply = qxsim::wire::Frame(qxsim::wire::Result(SIM_ERR_INTERNAL, Json::array()));
  }
  asio::async_write(client->call, asio::buffer(client->reply),
                    [this, client](const asio::error_code& ec, size_t) {
                      if (client->closed) return;
                      if (ec) {
                        Drop(client, "link lost: " + ec.message());
                        return;
                      }
                      ReadFrame(client);
                    });
}

// The event connection: a hello naming the session of a call connection,
// then events from the server only.

void Server::AcceptEvents() {
  auto socket = std::make_shared<Socket>(io_);
  events_.async_accept(*socket, [this, socket](const asio::error_code& ec) {
    if (ec) {
      if (!stopping_) AcceptEvents();
      return;
    }
    greeting_.insert(socket);
    OnEventHello(socket);
    AcceptEvents();
  });
}

void Server::OnEventHello(const std::shared_ptr<Socket>& socket) {
  auto header = std::make_shared<std::array<unsigned char, 4>>();
  auto refuse = [this, socket](const std::string& why) {
    greeting_.erase(socket);
    if (stopping_) return;
    asio::error_code ec;
    const tcp::endpoint peer = socket->remote_endpoint(ec);
    Log("event connection from " + peer.address().to_string() + ":" +
        std::to_string(peer.port()) + ": " + why + "; closed");
    socket->close(ec);
  };
  asio::async_read(*socket, asio::buffer(*header),
      [this, socket, header, refuse](const asio::error_code& ec, size_t) {
        if (ec) return refuse("closed before its hello");
        unsigned char h[4] = {(*header)[0], (*header)[1], (*header)[2], (*header)[3]};
        const uint32_t n = qxsim::wire::BodyLength(h);
        if (n == 0) return refuse("frame outside the size limits");
        auto body = std::make_shared<std::string>(n, '\0');
        asio::async_read(*socket, asio::buffer(&(*body)[0], n),
            [this, socket, body, refuse](const asio::error_code& ec2, size_t) {
              if (ec2) return refuse("closed in its hello");
              Json m;
              int64_t version = 0, session = 0;
              if (!qxsim::wire::Parse(*body, m) || m["kind"] != qxsim::wire::kHello ||
                  !m.contains("role") || m["role"] != qxsim::wire::kRoleEvents ||
                  !m.contains("version") || !m.contains("session") ||
                  !qxsim::wire::ReadInt(m["version"], 0, INT32_MAX, version) ||
                  !qxsim::wire::ReadInt(m["session"], 1, INT32_MAX, session)) {
                return refuse("no events hello");
              }
              if (version != qxsim::wire::kVersion) {
                return refuse("speaks another protocol version");
              }
              const auto found = clients_.find(static_cast<int32_t>(session));
              if (found == clients_.end() || found->second->events ||
                  !found->second->welcomed) {
                return refuse("names no session waiting for its events");
              }
              const ClientPtr client = found->second;
              greeting_.erase(socket);
              client->events = socket;
              client->eventFrames.push_back(
                  qxsim::wire::Frame(qxsim::wire::Welcome(client->id)));
              WriteEvents(client);
              WatchEvents(client);
            });
      });
}

void Server::WatchEvents(const ClientPtr& client) {
  client->events->async_read_some(
      asio::buffer(&client->watch, 1),
      [this, client](const asio::error_code& ec, size_t) {
        if (client->closed) return;
        Drop(client, ec ? "event connection closed"
                        : "sent data on its event connection");
      });
}

void Server::PushEvents() {
  for (const auto& [id, client] : clients_) {
    std::deque<qxsim::Event>& outbox = client->state.outbox;
    if (!client->events) {
      outbox.clear();
      continue;
    }
    if (outbox.empty()) continue;
    std::deque<std::string>& frames = client->eventFrames;
    while (!outbox.empty()) {
      frames.push_back(qxsim::wire::Frame(qxsim::wire::EventMessage(outbox.front())));
      outbox.pop_front();
      if (frames.size() > kMaxEventFrames) {
        // The head may be on its way out: keep it.
        frames.erase(frames.begin() + (client->writingEvents ? 1 : 0));
      }
    }
    WriteEvents(client);
  }
}

void Server::WriteEvents(const ClientPtr& client) {
  if (client->writingEvents || client->eventFrames.empty() || client->closed) {
    return;
  }
  client->writingEvents = true;
  asio::async_write(*client->events, asio::buffer(client->eventFrames.front()),
                    [this, client](const asio::error_code& ec, size_t) {
                      client->writingEvents = false;
                      if (client->closed) return;
                      if (ec) {
                        Drop(client, "event connection lost: " + ec.message());
                        return;
                      }
                      client->eventFrames.pop_front();
                      WriteEvents(client);
                    });
}

void Server::Drop(const ClientPtr& client, const std::string& reason) {
  if (client->closed) return;
  client->closed = true;
  Log(Name(*client) + ": " + reason + "; connection closed");
  asio::error_code ignored;
  client->call.close(ignored);
  if (client->events) client->events->close(ignored);
  station_.Detach(client->state);
  clients_.erase(client->id);
  Changed();
}

// The clock: scheduled happenings, deliveries being run from the panel.

void Server::Tick() {
  if (stopping_) return;
  station_.Tick();
  RunFlows();
  panel_.transit.clear();  // the panel reads the station, not events
  panel_.queue.clear();
  panel_.linkUp = true;  // a scenario's `link down` is the hosts' line
  if (std::any_of(clients_.begin(), clients_.end(),
                  [](const auto& c) { return !c.second->state.outbox.empty(); })) {
    PushEvents();
    Changed();
  }
  timer_.expires_after(kTick);
  timer_.async_wait([this](const asio::error_code& ec) {
    if (!ec) Tick();
  });
}

void Server::RunFlows() {
  for (auto it = flows_.begin(); it != flows_.end();) {
    const int32_t pump = it->first;
    const SimPump* p = station_.PumpByNumber(pump);
    if (p && p->state == SIM_PUMP_DELIVERY_STOPPED) {  // held by a stop
      ++it;
      continue;
    }
    const double step = std::min(kFlowPerTick, it->second.target);
    const bool flowing = step > 0 && station_.Dispense(pump, step) == SIM_OK;
    it->second.target -= step;
    if (!flowing || it->second.target <= 1e-9) {
      const int32_t r = station_.HangUpNozzle(pump);
      Log("pump " + std::to_string(pump) +
          (r == SIM_OK ? ": nozzle hung up, delivery finished"
                       : ": delivery run ended with " + std::to_string(r)));
      it = flows_.erase(it);
    } else {
      ++it;
    }
    Changed();
  }
}

}  // namespace qxserver
