#include "server/connections.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <utility>

#include "server/access.h"
#include "server/calls.h"
#include "server/limits.h"
#include "server/log_text.h"
#include "server/replay_hook.h"
#include "sim/model/scenario.h"

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
constexpr auto kAcceptRetry = std::chrono::milliseconds(500);

}  // namespace

Server::Server(asio::io_context& io, qxsim::Station& station, const Options& options)
    : io_(io),
      station_(station),
      options_(options),
      calls_(io, "call"),
      events_(io, "event"),
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
      error =
          "cannot listen on " + options_.bind + ":" + std::to_string(port) + ": " + ec.message();
      return false;
    }
    bound = acceptor.local_endpoint().port();
    return true;
  };
  if (!open(calls_.socket, options_.callPort, callPort_) ||
      !open(events_.socket, options_.eventPort, eventPort_)) {
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
  for (Acceptor* a : {&calls_, &events_}) {
    a->socket.close(ignored);
    a->retry.cancel();
  }
  timer_.cancel();
  for (const GreetingPtr& g : greeting_) {
    g->socket.close(ignored);
    g->deadline.cancel();
  }
  greeting_.clear();
  while (!clients_.empty()) Drop(clients_.begin()->second, "server stopping");
  if (onStop_) onStop_();
}

std::string Server::Name(const Client& client) const {
  return "client " + std::to_string(client.id) + " (" + client.peer + ")";
}

void Server::Log(const std::string& text) {
  // Lines quote what clients send: cleaned here, once for every caller.
  const std::string line = CleanText(text, limits::kMaxLogLine);
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

// Accepting connections.

void Server::AcceptLater(Acceptor& acceptor, const asio::error_code& ec, void (Server::*again)()) {
  // Out of descriptors the listening socket stays readable and every accept
  // fails at once: trying again at once would spin a core.
  if (!acceptor.failing) {
    acceptor.failing = true;
    Log(std::string("cannot accept ") + acceptor.what + " connections (" + ec.message() +
        "); trying again every 0.5 s");
  }
  acceptor.retry.expires_after(kAcceptRetry);
  acceptor.retry.async_wait([this, again](const asio::error_code& e) {
    if (!e && !stopping_) (this->*again)();
  });
}

void Server::Accepted(Acceptor& acceptor) {
  if (!acceptor.failing) return;
  acceptor.failing = false;
  Log(std::string("accepting ") + acceptor.what + " connections again");
}

void Server::RefuseConnection(Socket& socket, const std::string& peer, const char* what) {
  asio::error_code ignored;
  socket.close(ignored);
  const auto now = std::chrono::steady_clock::now();
  if (now - lastRefusal_ < std::chrono::seconds(1)) {
    ++refusedQuietly_;
    return;
  }
  std::string line = std::string(what) + " connection from " + peer +
                     " refused: " + std::to_string(options_.maxClients) +
                     " are open, as many as the server takes";
  if (refusedQuietly_) {
    line += " (" + std::to_string(refusedQuietly_) + " more refused before it)";
  }
  Log(line);
  lastRefusal_ = now;
  refusedQuietly_ = 0;
}

namespace {

std::string PeerOf(const tcp::socket& socket) {
  asio::error_code ec;
  const tcp::endpoint peer = socket.remote_endpoint(ec);
  if (ec) return "an unknown peer";
  return peer.address().to_string() + ":" + std::to_string(peer.port());
}

std::string Seconds(double s) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", s);
  return text;
}

}  // namespace

// The call connection.

void Server::AcceptCalls() {
  auto client = std::make_shared<Client>(io_);
  calls_.socket.async_accept(client->call, [this, client](const asio::error_code& ec) {
    if (stopping_) return;
    if (ec) return AcceptLater(calls_, ec, &Server::AcceptCalls);
    Accepted(calls_);
    client->peer = PeerOf(client->call);
    if (clients_.size() >= options_.maxClients) {
      RefuseConnection(client->call, client->peer, "call");
      return AcceptCalls();
    }
    client->id = nextClient_++;
    asio::error_code ignored;
    client->call.set_option(tcp::no_delay(true), ignored);
    clients_[client->id] = client;
    Log(Name(*client) + " connected");
    Arm(client, options_.helloSeconds, "no hello within " + Seconds(options_.helloSeconds) + " s");
    ReadFrame(client);
    AcceptCalls();
  });
}

void Server::Arm(const ClientPtr& client, double seconds, std::string why) {
  const uint64_t armed = ++client->deadlineArmed;
  client->deadline.expires_after(std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000)));
  client->deadline.async_wait(
      [this, client, armed, why = std::move(why)](const asio::error_code& ec) {
        if (ec || client->closed || armed != client->deadlineArmed) return;
        Drop(client, why);
      });
}

void Server::Disarm(const ClientPtr& client) {
  ++client->deadlineArmed;  // a firing already on its way is stale
  client->deadline.cancel();
}

// A frame's first byte may come whenever the client likes (a host between
// polls); the rest of it is due within frameSeconds. Before the welcome the
// hello's own deadline, armed at the accept, runs on.
void Server::ReadFrame(const ClientPtr& client) {
  asio::async_read(client->call, asio::buffer(client->header, 1),
                   [this, client](const asio::error_code& ec, size_t) {
                     if (client->closed) return;
                     if (ec) {
                       Drop(client, ec == asio::error::eof ? "closed the connection"
                                                           : "link lost: " + ec.message());
                       return;
                     }
                     if (client->welcomed) {
                       Arm(client, options_.frameSeconds,
                           "a frame not finished within " + Seconds(options_.frameSeconds) + " s");
                     }
                     ReadRest(client);
                   });
}

void Server::ReadRest(const ClientPtr& client) {
  asio::async_read(client->call, asio::buffer(client->header + 1, qxsim::wire::kHeaderBytes - 1),
                   [this, client](const asio::error_code& ec, size_t) {
                     if (client->closed) return;
                     if (ec) {
                       Drop(client, "link lost in a frame: " + ec.message());
                       return;
                     }
                     const uint32_t n = qxsim::wire::BodyLength(client->header);
                     if (n == 0) {
                       const uint32_t said = (uint32_t{client->header[0]} << 24) |
                                             (uint32_t{client->header[1]} << 16) |
                                             (uint32_t{client->header[2]} << 8) | client->header[3];
                       Drop(client, "frame of " + std::to_string(said) + " bytes is outside 1.." +
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
                           if (client->welcomed) Disarm(client);
                           Json message;
                           qxsim::wire::ParseFault fault = qxsim::wire::ParseFault::kNone;
                           if (!qxsim::wire::Parse(client->body, message, &fault)) {
                             Drop(client, fault == qxsim::wire::ParseFault::kTooDeep
                                              ? "frame nests deeper than " +
                                                    std::to_string(qxsim::wire::kMaxDepth) +
                                                    " levels"
                                              : "frame is not a JSON message with a kind");
                             return;
                           }
                           OnMessage(client, message);
                         });
                   });
}

void Server::OnMessage(const ClientPtr& client, const Json& m) {
  // Whatever goes wrong with one message ends that message, not the loop.
  std::string failure;
  try {
    Handle(client, m);
    return;
  } catch (const std::exception& e) {
    failure = e.what();
  } catch (...) {
    failure = "unknown exception";
  }
  Log(Name(*client) + ": internal error: " + failure);
  if (client->closed) return;
  if (client->welcomed && !client->answering && !client->held) {
    Reply(client, qxsim::wire::Result(SIM_ERR_INTERNAL, Json::array()));
  } else {
    Drop(client, "internal error");
  }
}

void Server::Hello(const ClientPtr& client, const Json& m) {
  const std::string& kind = m["kind"].get_ref<const std::string&>();
  int64_t version = 0;
  if (kind != qxsim::wire::kHello || !m.contains("role") || m["role"] != qxsim::wire::kRoleCall) {
    Drop(client, "'" + CleanText(kind, limits::kLoggedKind) + "' before hello");
    return;
  }
  if (!m.contains("version") || !qxsim::wire::ReadInt(m["version"], 0, INT32_MAX, version) ||
      version != qxsim::wire::kVersion) {
    Drop(client, "speaks another protocol version");
    return;
  }
  if (!options_.accessToken.empty() &&
      (!m.contains("token") || !m["token"].is_string() ||
       !SameKey(m["token"].get_ref<const std::string&>(), options_.accessToken))) {
    Drop(client, "hello without the access token");
    return;
  }
  if (!RandomKey(client->key)) {
    Drop(client, "no random key for its event connection");
    return;
  }
  Disarm(client);
  client->welcomed = true;
  client->state.keepsOutbox = true;
  station_.Attach(client->state);
  Reply(client, qxsim::wire::Welcome(client->id, client->key));
}

void Server::Handle(const ClientPtr& client, const Json& m) {
  if (!client->welcomed) return Hello(client, m);
  const std::string& kind = m["kind"].get_ref<const std::string&>();
  if (kind != qxsim::wire::kCall) {
    Drop(client, "'" + CleanText(kind, limits::kLoggedKind) + "' where a call was due");
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
    // Its end must still be seen, event connection or not: the locks it
    // holds go then.
    WatchHeld(client);
    PushEvents();
    Changed();
    return;
  }
  int32_t injected = 0;
  if (faults_.Fire(call.op.c_str(), injected)) {
    call.result = injected;
    Log(Name(*client) + " " + call.op + " failed on purpose with " + std::to_string(injected));
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
    } else if ((call.op == "LockDelivery" || call.op == "ClearDelivery") && call.result == SIM_OK) {
      Log(Name(*client) + " " + call.op + " " + m["args"][0].dump());
    }
  }
  Reply(client, qxsim::wire::Result(call.result, std::move(call.out)));
  PushEvents();
  Changed();
}

void Server::Reply(const ClientPtr& client, const Json& message) {
  client->reply = qxsim::wire::Frame(message);
  client->answering = true;
  asio::async_write(client->call, asio::buffer(client->reply),
                    [this, client](const asio::error_code& ec, size_t) {
                      client->answering = false;
                      if (client->closed) return;
                      if (ec) {
                        Drop(client, "link lost: " + ec.message());
                        return;
                      }
                      ReadFrame(client);
                    });
}

void Server::WatchHeld(const ClientPtr& client) {
  client->call.async_read_some(asio::buffer(client->header, 1),
                               [this, client](const asio::error_code& ec, size_t) {
                                 if (client->closed) return;
                                 Drop(client, ec ? "closed the connection while its call was held"
                                                 : "sent data while its call was held");
                               });
}

// The event connection: a hello naming the session and the key of a call
// connection, then events from the server only.

void Server::AcceptEvents() {
  auto greeting = std::make_shared<Greeting>(io_);
  events_.socket.async_accept(greeting->socket, [this, greeting](const asio::error_code& ec) {
    if (stopping_) return;
    if (ec) return AcceptLater(events_, ec, &Server::AcceptEvents);
    Accepted(events_);
    greeting->peer = PeerOf(greeting->socket);
    if (greeting_.size() >= options_.maxClients) {
      RefuseConnection(greeting->socket, greeting->peer, "event");
      return AcceptEvents();
    }
    greeting_.insert(greeting);
    greeting->deadline.expires_after(
        std::chrono::milliseconds(static_cast<int64_t>(options_.helloSeconds * 1000)));
    greeting->deadline.async_wait([this, greeting](const asio::error_code& e) {
      if (!e && greeting_.count(greeting)) {
        RefuseGreeting(greeting, "no hello within " + Seconds(options_.helloSeconds) + " s");
      }
    });
    ReadEventHello(greeting);
    AcceptEvents();
  });
}

void Server::RefuseGreeting(const GreetingPtr& greeting, const std::string& why) {
  if (!greeting_.erase(greeting) || stopping_) return;
  greeting->deadline.cancel();
  Log("event connection from " + greeting->peer + ": " + why + "; closed");
  asio::error_code ignored;
  greeting->socket.close(ignored);
}

void Server::ReadEventHello(const GreetingPtr& g) {
  asio::async_read(
      g->socket, asio::buffer(g->header), [this, g](const asio::error_code& ec, size_t) {
        if (!greeting_.count(g)) return;
        if (ec) return RefuseGreeting(g, "closed before its hello");
        const uint32_t n = qxsim::wire::BodyLength(g->header);
        if (n == 0) return RefuseGreeting(g, "frame outside the size limits");
        g->body.assign(n, '\0');
        asio::async_read(g->socket, asio::buffer(&g->body[0], n),
                         [this, g](const asio::error_code& ec2, size_t) {
                           if (!greeting_.count(g)) return;
                           if (ec2) return RefuseGreeting(g, "closed in its hello");
                           try {
                             OnEventHello(g);
                           } catch (const std::exception& e) {
                             RefuseGreeting(g, std::string("internal error: ") + e.what());
                           }
                         });
      });
}

void Server::OnEventHello(const GreetingPtr& g) {
  Json m;
  int64_t version = 0, session = 0;
  if (!qxsim::wire::Parse(g->body, m) || m["kind"] != qxsim::wire::kHello || !m.contains("role") ||
      m["role"] != qxsim::wire::kRoleEvents || !m.contains("version") || !m.contains("session") ||
      !m.contains("key") || !qxsim::wire::ReadInt(m["version"], 0, INT32_MAX, version) ||
      !qxsim::wire::ReadInt(m["session"], 1, INT32_MAX, session) || !m["key"].is_string()) {
    return RefuseGreeting(g, "no events hello");
  }
  if (version != qxsim::wire::kVersion) {
    return RefuseGreeting(g, "speaks another protocol version");
  }
  // The key, not the session's number, proves the connection is the
  // client's own: numbers are easy to guess, keys are not.
  const auto found = clients_.find(static_cast<int32_t>(session));
  if (found == clients_.end() || found->second->events || !found->second->welcomed ||
      !SameKey(m["key"].get_ref<const std::string&>(), found->second->key)) {
    return RefuseGreeting(g, "names no session waiting for its events");
  }
  const ClientPtr client = found->second;
  greeting_.erase(g);
  g->deadline.cancel();
  client->events = std::make_shared<Socket>(std::move(g->socket));
  client->eventFrames.push_back(qxsim::wire::Frame(qxsim::wire::Welcome(client->id)));
  WriteEvents(client);
  WatchEvents(client);
}

void Server::WatchEvents(const ClientPtr& client) {
  client->events->async_read_some(
      asio::buffer(&client->watch, 1), [this, client](const asio::error_code& ec, size_t) {
        if (client->closed) return;
        Drop(client, ec ? "event connection closed" : "sent data on its event connection");
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
  client->deadline.cancel();
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
