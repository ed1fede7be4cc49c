// qxsim-server's connections: one forecourt (qxsim::Station) served to many
// clients at once over the wire protocol (sim/protocol.h). Each client has
// its own state in the station (logon, link, event queue), and the locks it
// takes are released when its call connection ends. A client that breaks
// the protocol, or is too slow to say hello or to finish a frame, is closed
// with a log line; the others go on. Everything runs on one
// asio::io_context thread; other threads reach the server through Post.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include <asio.hpp>

#include "sim/model/call_book.h"
#include "sim/model/protocol.h"
#include "sim/model/station.h"

namespace qxserver {

class ReplayHook;

struct Options {
  std::string bind = "127.0.0.1";
  uint16_t callPort = 5123;
  uint16_t eventPort = 5124;
  uint16_t panelPort = 8080;
  bool panel = true;
  std::string scenario;
  std::string trace;     // --trace: a recorded trace answers every call
  double stopAfter = 0;  // seconds; 0 = run until stopped
  bool quiet = false;    // no log lines on stderr
  // Bind beyond loopback (--allow-remote); every hello and panel request
  // must then carry `accessToken`.
  bool allowRemote = false;
  std::string accessToken;
  // A new connection's hello is due within helloSeconds; a frame, once its
  // first byte has come, within frameSeconds.
  double helloSeconds = 10;
  double frameSeconds = 30;
  // Call connections at once, and as many event connections before their
  // hello; more are closed as they come, with a log line.
  size_t maxClients = 64;
};

class Server {
 public:
  Server(asio::io_context& io, qxsim::Station& station, const Options& options);
  ~Server();

  // Opens the two listening ports (0 = any free port). False with a reason.
  bool Listen(std::string& error);
  uint16_t callPort() const { return callPort_; }
  uint16_t eventPort() const { return eventPort_; }
  // Closes every connection and the listeners; the loop then ends.
  void Stop();

  // What the panel shows and does (sim/README.md, "The panel"). On the
  // loop's thread only.
  qxsim::wire::Json Snapshot() const;
  // 0 when done; else a result code, with the reason in `error`.
  int32_t Act(const qxsim::wire::Json& action, std::string& error);

  // A number that grows at every change a panel may want to see.
  uint64_t version() const;
  // The log lines after `after` (sequence numbers from 1).
  qxsim::wire::Json LogSince(uint64_t after) const;

  void Log(const std::string& line);
  // A fault, as a scenario's `fail` line gives it (sim/call_book.h).
  void AddFault(const std::string& name, int32_t nth, int32_t code) {
    faults_.Add(name, nth, nth == 0 ? 0 : 1, code);
  }
  // Called once when the server stops, so the owner can end its waits.
  void OnStop(std::function<void()> done) { onStop_ = std::move(done); }
  // Every call answered by `replay` from now on (server/replay_hook.h).
  void Replay(ReplayHook* replay) { replay_ = replay; }

 private:
  using Socket = asio::ip::tcp::socket;
  // One client: its call connection, its event connection once it has
  // said hello there, and its state in the station.
  struct Client {
    explicit Client(asio::io_context& io) : call(io), deadline(io) {}
    int32_t id = 0;
    Socket call;
    std::shared_ptr<Socket> events;
    std::string peer;
    std::string key;  // what its event connection's hello must name
    bool welcomed = false;
    bool closed = false;
    bool answering = false;  // a reply is being written
    int64_t calls = 0;
    qxsim::ClientState state;
    unsigned char header[qxsim::wire::kHeaderBytes] = {};
    std::string body;
    std::string reply;
    std::deque<std::string> eventFrames;
    bool writingEvents = false;
    bool held = false;  // a call left without its answer on purpose
    char watch = 0;     // the byte an event connection must never send
    // The hello or the frame under way must be done by then.
    asio::steady_timer deadline;
    uint64_t deadlineArmed = 0;  // which arming a firing belongs to
  };
  // An event connection before its hello.
  struct Greeting {
    explicit Greeting(asio::io_context& io) : socket(io), deadline(io) {}
    Socket socket;
    asio::steady_timer deadline;
    std::string peer;
    unsigned char header[qxsim::wire::kHeaderBytes] = {};
    std::string body;
  };
  // A listening port that the system may fail to give new connections
  // (out of descriptors): it then waits before it tries again.
  struct Acceptor {
    Acceptor(asio::io_context& io, const char* what) : socket(io), retry(io), what(what) {}
    asio::ip::tcp::acceptor socket;
    asio::steady_timer retry;
    const char* what;
    bool failing = false;
  };

  using ClientPtr = std::shared_ptr<Client>;
  using GreetingPtr = std::shared_ptr<Greeting>;

  int32_t StartRun(int32_t hoseId, const qxsim::wire::Json& action, std::string& error);
  int32_t CutClient(int32_t connection);

  void AcceptCalls();
  void AcceptEvents();
  // After a failed accept: one log line, then another try a while later.
  void AcceptLater(Acceptor& acceptor, const asio::error_code& ec, void (Server::*again)());
  void Accepted(Acceptor& acceptor);
  void RefuseConnection(Socket& socket, const std::string& peer, const char* what);
  void Arm(const ClientPtr& client, double seconds, std::string why);
  void Disarm(const ClientPtr& client);
  void ReadFrame(const ClientPtr& client);
  void ReadRest(const ClientPtr& client);
  void OnMessage(const ClientPtr& client, const qxsim::wire::Json& message);
  void Handle(const ClientPtr& client, const qxsim::wire::Json& message);
  void Hello(const ClientPtr& client, const qxsim::wire::Json& message);
  void Reply(const ClientPtr& client, const qxsim::wire::Json& message);
  void WatchHeld(const ClientPtr& client);
  void ReadEventHello(const GreetingPtr& greeting);
  void OnEventHello(const GreetingPtr& greeting);
  void RefuseGreeting(const GreetingPtr& greeting, const std::string& why);
  void WatchEvents(const ClientPtr& client);
  void PushEvents();
  void WriteEvents(const ClientPtr& client);
  void Drop(const ClientPtr& client, const std::string& reason);
  void Changed();
  void Tick();
  void RunFlows();
  std::string Name(const Client& client) const;

  asio::io_context& io_;
  qxsim::Station& station_;
  Options options_;
  Acceptor calls_;
  Acceptor events_;
  asio::steady_timer timer_;
  uint16_t callPort_ = 0;
  uint16_t eventPort_ = 0;
  bool stopping_ = false;
  std::function<void()> onStop_;
  ReplayHook* replay_ = nullptr;

  int32_t nextClient_ = 1;
  std::map<int32_t, ClientPtr> clients_;
  std::set<GreetingPtr> greeting_;  // event connections before hello
  // Connections refused at the cap: one log line a second at most.
  std::chrono::steady_clock::time_point lastRefusal_{};
  int64_t refusedQuietly_ = 0;
  std::set<int32_t> cut_;  // logon client ids whose link the panel holds down
  qxsim::FaultPlan faults_;
  // Operations whose next call is held: never answered, and carried out
  // first when the value is true. A harness kills a host while it waits.
  std::map<std::string, bool> holds_;
  // The panel is a client of the station too: its commands go through the
  // same operations as a host's.
  qxsim::ClientState panel_;
  struct Flow {
    double target;  // litres still to run
  };
  std::map<int32_t, Flow> flows_;  // pump number -> delivery being run

  mutable std::mutex shared_;  // version_ and log_, read by other threads
  uint64_t version_ = 1;
  uint64_t logged_ = 0;
  std::deque<std::pair<uint64_t, std::string>> log_;
};

}  // namespace qxserver
