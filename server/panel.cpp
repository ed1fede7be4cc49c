#include "server/panel.h"

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <optional>
#include <thread>

#include "server/http_guard.h"
#include "server/limits.h"
#include "server/panel_assets.h"
#include "server/panel_pool.h"

namespace qxserver {

using qxsim::wire::Dump;
using qxsim::wire::Json;
using namespace std::chrono_literals;

namespace {

// Event streams open at once; a request for one more gets 503. The pool
// keeps workers beyond them for the page, the state and actions.
constexpr int kMaxStreams = 64;
constexpr size_t kSpareWorkers = 16;
// The send buffer of a panel connection. A page that stops reading its
// stream fills it soon; the next write then fails after httplib's write
// time-out (5 s) and the stream ends, its worker free again.
constexpr int kSendBuffer = 64 * 1024;
// A stream write that took this long before failing was a reader that had
// stopped reading, not a page that was closed.
constexpr auto kStalled = 4s;

void Send(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  res.set_content(Dump(body), "application/json");
}

void Asset(httplib::Server& http, const char* path, const unsigned char* data, size_t size,
           const char* type) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  http.Get(path, [body, type](const httplib::Request&, httplib::Response& res) {
    res.set_content(body, type);
  });
}

// The security headers, on every answer (httplib's own errors included).
httplib::Headers SecurityHeaders() {
  return {{"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"},
          {"X-Frame-Options", "DENY"},
          {"X-Content-Type-Options", "nosniff"},
          {"Referrer-Policy", "no-referrer"},
          {"Cache-Control", "no-store"}};
}

PanelRequest Describe(const httplib::Request& req) {
  PanelRequest r;
  r.method = req.method;
  r.path = req.path;
  r.host = req.get_header_value("Host");
  r.origin = req.get_header_value("Origin");
  r.fetchSite = req.get_header_value("Sec-Fetch-Site");
  r.contentType = req.get_header_value("Content-Type");
  r.contentLength = req.get_header_value("Content-Length");
  r.transferEncoding = req.get_header_value("Transfer-Encoding");
  const std::string authorization = req.get_header_value("Authorization");
  if (authorization.rfind("Bearer ", 0) == 0) {
    r.token = authorization.substr(7);
  } else {
    r.token = req.get_param_value("token");
  }
  return r;
}

}  // namespace

struct Panel::Impl {
  Impl(asio::io_context& io, Server& server) : io(io), server(server) {}

  // Runs `f` on the server's loop and waits for its answer, a bounded time.
  template <class F>
  std::optional<Json> OnLoop(F f) {
    auto task = std::make_shared<std::packaged_task<Json()>>(std::move(f));
    std::future<Json> answer = task->get_future();
    asio::post(io, [task] { (*task)(); });
    if (answer.wait_for(3s) != std::future_status::ready) return std::nullopt;
    return answer.get();
  }

  std::optional<Json> State() {
    return OnLoop([this] {
      Json state = server.Snapshot();
      state["log"] = server.LogSince(0);
      return state;
    });
  }

  // A handler that answers 500 with a log line instead of throwing.
  template <class H>
  httplib::Server::Handler Guarded(H handler) {
    return [this, handler](const httplib::Request& req, httplib::Response& res) {
      try {
        handler(req, res);
      } catch (const std::exception& e) {
        Failed(res, e.what());
      } catch (...) {
        Failed(res, "unknown exception");
      }
    };
  }
  void Failed(httplib::Response& res, const std::string& what) {
    server.Log("panel: internal error: " + what);
    res.set_header("Connection", "close");
    Send(res, 500, {{"error", "internal error; see the server's log"}});
  }

  struct Stream {
    uint64_t seen = 0;
    uint64_t logSeen = 0;
    std::string peer;
  };

  // The state as streams send it, taken on the loop once per change
  // however many streams are open. False when the loop does not answer.
  bool SharedState(uint64_t version, std::string& text) {
    std::lock_guard<std::mutex> hold(share);
    if (sharedVersion < version) {
      const auto state = OnLoop([this] { return server.Snapshot(); });
      if (!state) return false;
      sharedState = Dump(*state);
      sharedVersion = version;
    }
    text = sharedState;
    return true;
  }

  void Routes();
  void Action(const httplib::Request& req, httplib::Response& res);
  void Events(const httplib::Request& req, httplib::Response& res);
  bool Round(httplib::DataSink& sink, Stream& stream);

  asio::io_context& io;
  Server& server;
  httplib::Server http;
  std::optional<PanelGuard> guard;  // set once the port is known
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::atomic<int> streams{0};
  std::mutex share;
  uint64_t sharedVersion = 0;
  std::string sharedState;
};

void Panel::Impl::Routes() {
  http.set_default_headers(SecurityHeaders());
  http.set_payload_max_length(limits::kMaxPanelBody);
  http.new_task_queue = [this] {
    return new GrowingPool(kMaxStreams + kSpareWorkers,
                           [this](const std::string& line) { server.Log(line); });
  };
  http.set_socket_options([](socket_t sock) {
    httplib::default_socket_options(sock);
    const int size = kSendBuffer;  // accepted connections inherit it
    setsockopt(sock, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&size), sizeof size);
  });
  // Before anything is read of the body: who asks, and how.
  http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    try {
      const PanelGuard::Verdict v = guard->Check(Describe(req));
      if (v.status == 0) return httplib::Server::HandlerResponse::Unhandled;
      res.set_header("Connection", "close");
      Send(res, v.status, {{"error", v.reason}});
    } catch (const std::exception& e) {
      Failed(res, e.what());
    }
    return httplib::Server::HandlerResponse::Handled;
  });
  http.set_exception_handler(
      [this](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
        Failed(res, "exception in the HTTP library");
      });

  Asset(http, "/", kPanelHtml, sizeof kPanelHtml, "text/html; charset=utf-8");
  Asset(http, "/panel.css", kPanelCss, sizeof kPanelCss, "text/css; charset=utf-8");
  Asset(http, "/panel.js", kPanelJs, sizeof kPanelJs, "text/javascript; charset=utf-8");

  http.Get("/api/state", Guarded([this](const httplib::Request&, httplib::Response& res) {
             const auto state = State();
             if (!state) return Send(res, 503, {{"error", "server busy or stopping"}});
             Send(res, 200, *state);
           }));
  http.Post("/api/action", Guarded([this](const httplib::Request& req, httplib::Response& res) {
              Action(req, res);
            }));
  http.Get("/api/events", Guarded([this](const httplib::Request& req, httplib::Response& res) {
             Events(req, res);
           }));
}

void Panel::Impl::Action(const httplib::Request& req, httplib::Response& res) {
  if (req.body.size() > limits::kMaxPanelBody) {
    return Send(res, 413, {{"error", "a body is at most 65536 bytes"}});
  }
  Json action;
  qxsim::wire::ParseFault fault = qxsim::wire::ParseFault::kNone;
  if (!qxsim::wire::ParseValue(req.body, action, &fault)) {
    return Send(res, 400,
                {{"error", fault == qxsim::wire::ParseFault::kTooDeep
                               ? "the body nests deeper than 32 levels"
                               : "the body is not JSON"}});
  }
  const auto answer = OnLoop([this, action = std::move(action)] {
    std::string error;
    const int32_t r = server.Act(action, error);
    Json a = {{"ok", r == 0}, {"result", r}};
    if (r != 0) a["error"] = error;
    return a;
  });
  if (!answer) return Send(res, 503, {{"error", "server busy or stopping"}});
  Send(res, (*answer)["ok"].get<bool>() ? 200 : 400, *answer);
}

void Panel::Impl::Events(const httplib::Request& req, httplib::Response& res) {
  if (streams.fetch_add(1) >= kMaxStreams) {
    streams.fetch_sub(1);
    return Send(res, 503,
                {{"error", std::to_string(kMaxStreams) + " event streams are open, as many as "
                                                         "the panel serves; close a page"}});
  }
  auto stream = std::make_shared<Stream>();
  stream->peer = req.remote_addr + ":" + std::to_string(req.remote_port);
  res.set_chunked_content_provider(
      "text/event-stream",
      [this, stream](size_t, httplib::DataSink& sink) {
        try {
          return Round(sink, *stream);
        } catch (const std::exception& e) {
          server.Log("panel: event stream to " + stream->peer +
                     " ended by an internal error: " + e.what());
          return false;
        }
      },
      [this](bool) { streams.fetch_sub(1); });
}

// One round of an event stream: waits for a change (a bounded time), then
// sends the new log lines and the state, or a ping. False ends the stream.
bool Panel::Impl::Round(httplib::DataSink& sink, Stream& stream) {
  for (int i = 0; i < 20 && !stopping && server.version() == stream.seen; ++i) {
    std::this_thread::sleep_for(50ms);
  }
  if (stopping) {
    sink.done();
    return false;
  }
  const uint64_t version = server.version();
  std::string out = ": ping\n\n";
  if (version != stream.seen) {
    std::string state;
    if (!SharedState(version, state)) return true;
    stream.seen = version;
    out.clear();
    for (const Json& line : server.LogSince(stream.logSeen)) {
      stream.logSeen = line["seq"].get<uint64_t>();
      out += "event: log\ndata: " + Dump(line) + "\n\n";
    }
    out += "event: state\ndata: " + state + "\n\n";
  }
  const auto start = std::chrono::steady_clock::now();
  if (sink.write(out.data(), out.size())) return true;
  if (std::chrono::steady_clock::now() - start >= kStalled) {
    server.Log("panel: event stream to " + stream.peer + " was not read; closed");
  }
  return false;
}

Panel::Panel(asio::io_context& io, Server& server, const Options& options)
    : impl_(std::make_unique<Impl>(io, server)) {
  port_ = options.panelPort;
  bind_ = options.bind;
  token_ = options.accessToken;
}

Panel::~Panel() { Stop(); }

bool Panel::Start(std::string& error) {
  impl_->Routes();
  const int port = port_ == 0 ? impl_->http.bind_to_any_port(bind_)
                              : (impl_->http.bind_to_port(bind_, port_) ? port_ : -1);
  if (port <= 0) {
    error = "cannot listen on " + bind_ + ":" + std::to_string(port_);
    return false;
  }
  port_ = static_cast<uint16_t>(port);
  impl_->guard.emplace(bind_, port_, token_);
  impl_->thread = std::thread([this] {
    try {
      impl_->http.listen_after_bind();
    } catch (const std::exception& e) {
      impl_->server.Log(std::string("panel stopped by an internal error: ") + e.what());
    }
  });
  return true;
}

void Panel::Stop() {
  if (!impl_) return;
  impl_->stopping = true;
  impl_->http.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace qxserver
