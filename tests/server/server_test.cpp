// qxsim-server natively: the 22 operations through the network client, two clients side by side,
// and clients that break the protocol. A server that is not there, a dropped link and a client that
// vanishes are the network tests' (tests/network/e2e.py: no-server, reconnect, crash).
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <asio.hpp>

#include "server/connections.h"
#include "sim/model/protocol.h"
#include "sim/model/remote.h"
#include "sim/model/scenario.h"

namespace {

using asio::ip::tcp;
using qxsim::RemoteStation;
using qxsim::wire::Json;

constexpr const char* kForecourt = R"(
grade 1 name "Gasolina Comum" short GC
pump 1 id 11 name "Bomba 1"
pump 2 id 12 name "Bomba 2"
hose 31 pump 1 grade 1 price 5.799 totalizer 1000
hose 41 pump 2 grade 1 price 6.25 totalizer 2000
delivery hose 31 volume 10 code 255
delivery hose 41 volume 4 type 2
)";

uint64_t Ticks() { return 0; }
double Wall() { return 46361.5; }

// A server on a thread of its own, on ports that the system picks.
class Running {
 public:
  explicit Running(const std::function<void(qxserver::Options&)>& adjust = {})
      : station_(Ticks, Wall) {
    qxsim::Scenario scenario;
    qxsim::ScenarioError error;
    EXPECT_TRUE(qxsim::ParseScenario(
        kForecourt, [](std::string_view) { return true; }, scenario, error))
        << error.message;
    station_.Load(scenario);
    qxserver::Options options;
    options.callPort = options.eventPort = 0, options.panel = false, options.quiet = true;
    if (adjust) adjust(options);
    server_ = std::make_unique<qxserver::Server>(io_, station_, options);
    std::string why;
    EXPECT_TRUE(server_->Listen(why)) << why;
    thread_ = std::thread([this] { io_.run(); });
  }
  ~Running() {
    asio::post(io_, [this] { server_->Stop(); });
    thread_.join();
  }

  qxsim::LogonArgs Logon(int32_t clientId) const {
    return {clientId, 7, "127.0.0.1", server_->callPort(), server_->eventPort(), 5000};
  }
  uint16_t callPort() const { return server_->callPort(); }

 private:
  asio::io_context io_;
  qxsim::Station station_;
  std::unique_ptr<qxserver::Server> server_;
  std::thread thread_;
};

using Results = std::vector<int32_t>;

TEST(Server, EachOperationRoundTrips) {
  Running s;
  RemoteStation c;
  ASSERT_EQ(c.Logon(s.Logon(97)), SIM_OK);
  EXPECT_EQ(c.Connected(), SIM_OK);
  int32_t pumps = -1, deliveries = -1, first = 0, hose = 0, id = 0;
  EXPECT_EQ(
      Results({c.PumpsCount(pumps), c.DeliveriesCount(deliveries), c.DeliveryByOrdinal(1, first),
               c.HoseByOrdinal(2, hose), c.DeliveryByOrdinal(3, id)}),
      Results({SIM_OK, SIM_OK, SIM_OK, SIM_OK, SIM_ERR_NO_DELIVERY}));
  EXPECT_EQ(Results({pumps, deliveries, first, hose}), Results({2, 2, 1001, 41}));
  SimDelivery d{};
  int32_t age = -1;
  ASSERT_EQ(c.Delivery(1001, d, age), SIM_OK);
  EXPECT_EQ(
      std::vector<double>({double(d.hoseId), d.volume, d.unitPrice, d.amount, double(d.code),
                           double(d.lockedBy), d.startTotalizer, d.endTotalizer, d.completedDate}),
      std::vector<double>({31, 10, 5.799, 57.99, 255, -1, 1000, 1010, 46361.5}));
  EXPECT_EQ(c.Delivery(999, d, age), SIM_ERR_NOT_FOUND);
  SimHose h{};
  ASSERT_EQ(c.Hose(41, h), SIM_OK);
  EXPECT_EQ(std::vector<double>({double(h.pumpId), h.totalizer, h.price}),
            std::vector<double>({12, 2004, 6.25}));
  EXPECT_EQ(Results({c.SetHosePrices(41, 2, 1, 6.5, 6.5), c.SetHosePrices(41, 3, 1, 6.5, 6.5),
                     c.Hose(41, h)}),
            Results({SIM_OK, SIM_ERR_BAD_ARGUMENT, SIM_OK}));
  EXPECT_EQ(h.price, 6.5);

  EXPECT_EQ(Results({c.Authorise(11), c.TempStop(11), c.ReAuthorise(11), c.AllStop(),
                     c.AllReAuthorise(), c.Authorise(99)}),
            Results({SIM_OK, SIM_OK, SIM_OK, SIM_OK, SIM_OK, SIM_ERR_NOT_FOUND}));
  // Seven changes: authorised, stopped, authorised; both stopped; both back.
  int32_t n = 0, type = 0;
  EXPECT_EQ(Results({c.ProcessEvents(), c.EventsCount(n), c.NextEventType(type)}),
            Results(3, SIM_OK));
  EXPECT_EQ(Results({n, type}), Results({7, SIM_EVENT_PUMP}));
  qxsim::PumpEvent e;
  ASSERT_EQ(c.TakePumpEvent(e), SIM_OK);
  EXPECT_EQ(Results({e.pumpNumber, e.pumpState}), Results({1, SIM_PUMP_AUTHORISED}));
  EXPECT_EQ(e.pumpName, "Bomba 1");
  EXPECT_EQ(Results({c.DiscardEvent(), c.EventsCount(n)}), Results(2, SIM_OK));
  EXPECT_EQ(n, 5);

  EXPECT_EQ(Results({c.LockDelivery(1001), c.ClearDelivery(1001, 2), c.ClearDelivery(1001, 1),
                     c.DeliveryByOrdinal(1, id)}),
            Results({SIM_OK, SIM_ERR_TYPE_MISMATCH, SIM_OK, SIM_OK}));
  EXPECT_EQ(id, 1002);
  EXPECT_EQ(Results({c.Logoff(), c.Connected(), c.PumpsCount(n)}),
            Results({SIM_OK, SIM_ERR_NOT_CONNECTED, SIM_ERR_NOT_CONNECTED}));
}

TEST(Server, TwoClientsHaveTheirOwnLocksAndEvents) {
  Running s;
  RemoteStation a, b;
  ASSERT_EQ(a.Logon(s.Logon(97)), SIM_OK);
  ASSERT_EQ(b.Logon(s.Logon(98)), SIM_OK);
  SimDelivery d{};
  int32_t age = 0;
  EXPECT_EQ(Results({a.LockDelivery(1001), b.LockDelivery(1001), b.ClearDelivery(1001, 1),
                     b.Delivery(1001, d, age)}),
            Results({SIM_OK, SIM_ERR_LOCKED_BY_OTHER, SIM_ERR_NOT_LOCKED, SIM_OK}));
  EXPECT_EQ(d.lockedBy, 97);

  EXPECT_EQ(a.Authorise(12), SIM_OK);  // one change, heard by both
  int32_t n = -1, m = -1;
  qxsim::PumpEvent e;
  ASSERT_EQ(Results({a.ProcessEvents(), a.TakePumpEvent(e), a.EventsCount(n)}), Results(3, SIM_OK));
  EXPECT_EQ(n, 0);
  ASSERT_EQ(Results({b.ProcessEvents(), b.EventsCount(m), b.TakePumpEvent(e)}), Results(3, SIM_OK));
  EXPECT_EQ(m, 1) << "b's queue is its own";
  EXPECT_EQ(e.pumpNumber, 2);

  EXPECT_EQ(a.Logoff(), SIM_OK);
  EXPECT_EQ(b.Connected(), SIM_OK) << "a's logoff is not b's";
}

// A frame's 4-byte big-endian length.
std::string Header(uint32_t n) {
  return std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                     static_cast<char>(n >> 8), static_cast<char>(n)};
}

// A raw connection: what a client that breaks the protocol sends.
class Raw {
 public:
  explicit Raw(uint16_t port) : socket_(io_) {
    socket_.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
    timeval wait{5, 0};  // reads give up after 5 s: an open connection is no hang
    setsockopt(socket_.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  }
  void Bytes(const std::string& bytes) { asio::write(socket_, asio::buffer(bytes)); }
  // True when the server has closed the connection (reads end) within 5 s.
  bool Closed() {
    char buffer[4096];
    asio::error_code ec;
    for (int i = 0; i < 100 && !ec; ++i) socket_.read_some(asio::buffer(buffer), ec);
    return ec == asio::error::eof || ec == asio::error::connection_reset;
  }
  // The next frame's message; false when none came.
  bool Message(Json& m) {
    unsigned char header[4];
    asio::error_code ec;
    asio::read(socket_, asio::buffer(header), ec);
    if (ec) return false;
    std::string body(qxsim::wire::BodyLength(header), '\0');
    asio::read(socket_, asio::buffer(body), ec);
    return !ec && qxsim::wire::Parse(body, m);
  }

 private:
  asio::io_context io_;
  tcp::socket socket_;
};

TEST(Server, AClientThatBreaksTheProtocolIsClosedAndTheOthersGoOn) {
  Running s;
  RemoteStation good;
  ASSERT_EQ(good.Logon(s.Logon(97)), SIM_OK);
  using qxsim::wire::Call;
  using qxsim::wire::Frame;
  const struct Case {
    const char* what;
    bool greet;
    std::string bytes;
  } cases[] = {
      {"oversized frame", false, Header(64 * 1024 + 1)},
      {"empty frame", false, Header(0)},
      {"not JSON", false, Header(5) + "{oops"},
      {"JSON without a kind", false, Frame(Json{{"op", "AllStop"}})},
      {"call before hello", false, Frame(Call("AllStop", Json::array()))},
      {"another version", false,
       Frame(Json{{"kind", "hello"}, {"version", qxsim::wire::kVersion + 1}, {"role", "call"}})},
      {"second hello", true, Frame(qxsim::wire::CallHello())},
      {"too few arguments", true, Frame(Call("LockDelivery", Json::array()))},
      {"text for a number", true, Frame(Call("LockDelivery", Json::array({"1001"})))},
      {"16-bit argument out of range", true,
       Frame(Call("ClearDelivery", Json::array({1001, 40000})))},
      {"half a frame, then gone", true, Header(100) + "{\"kind\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Raw raw(s.callPort());
    if (c.greet) raw.Bytes(Frame(qxsim::wire::CallHello()));
    raw.Bytes(c.bytes);
    if (std::string(c.what) != "half a frame, then gone") {
      EXPECT_TRUE(raw.Closed()) << "the server kept the connection";
    }
  }
  EXPECT_EQ(good.Connected(), SIM_OK);
  int32_t n = 0;
  EXPECT_EQ(good.DeliveriesCount(n), SIM_OK);
  EXPECT_EQ(n, 2);
}

// The cap, and deadlines made short: a welcomed connection may idle past them. Silent and half-sent
// connections meet the real deadlines in tests/network/hostile.py (sessions).
TEST(Server, SlowAndSurplusConnectionsAreClosedIdleOnesAreNot) {
  Running s([](qxserver::Options& o) {
    o.helloSeconds = 0.3;
    o.frameSeconds = 0.5;
    o.maxClients = 2;
  });
  using qxsim::wire::CallHello;
  using qxsim::wire::Frame;
  Json m;
  Raw idle(s.callPort());
  idle.Bytes(Frame(CallHello()));
  ASSERT_TRUE(idle.Message(m));
  Raw third(s.callPort()), fourth(s.callPort());
  EXPECT_TRUE(fourth.Closed()) << "a third call connection beyond the cap of 2";
  third.Bytes(Frame(CallHello()));
  EXPECT_TRUE(third.Message(m)) << "the second of 2";

  std::this_thread::sleep_for(std::chrono::milliseconds(800));  // > both deadlines
  idle.Bytes(Frame(qxsim::wire::Call("TestConnection", Json::array())));
  ASSERT_TRUE(idle.Message(m)) << "a welcomed connection may idle between calls";
  EXPECT_EQ(m["kind"], "result");
}

TEST(Server, AnAccessTokenIsAskedOfEveryHost) {
  const std::string token(32, 'c');
  Running s([&](qxserver::Options& o) { o.accessToken = token; });
  RemoteStation c;
  unsetenv("QXSIM_TOKEN");
  EXPECT_EQ(c.Logon(s.Logon(97)), SIM_ERR_NO_SERVER) << "without QXSIM_TOKEN";
  setenv("QXSIM_TOKEN", std::string(32, 'd').c_str(), 1);
  EXPECT_EQ(c.Logon(s.Logon(97)), SIM_ERR_NO_SERVER) << "with another token";
  setenv("QXSIM_TOKEN", token.c_str(), 1);
  EXPECT_EQ(c.Logon(s.Logon(97)), SIM_OK) << "with the token";
  EXPECT_EQ(c.Connected(), SIM_OK);
  unsetenv("QXSIM_TOKEN");
}

}  // namespace
