#include "server/panel.h"

#include <httplib.h>

#include <chrono>
#include <future>
#include <optional>
#include <thread>

#include "server/panel_assets.h"

namespace qxserver {

using qxsim::wire::Json;
using namespace std::chrono_literals;

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

  void Routes();
  void Events(httplib::DataSink& sink, uint64_t& seen, uint64_t& logSeen);

  asio::io_context& io;
  Server& server;
  httplib::Server http;
  std::thread thread;
  std::atomic<bool> stopping{false};
};

namespace {

void Asset(httplib::Server& http, const char* path, const unsigned char* data,
           size_t size, const char* type) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  http.Get(path, [body, type](const httplib::Request&, httplib::Response& res) {
    res.set_content(body, type);
    res.set_header("Cache-Control", "no-store");
  });
}

void Send(httplib::Response& res, int status, const Json& body) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

}  // namespace

void Panel::Impl::Routes() {
  Asset(http, "/", kPanelHtml, sizeof kPanelHtml, "text/html; charset=utf-8");
  Asset(http, "/panel.css", kPanelCss, sizeof kPanelCss, "text/css; charset=utf-8");
  Asset(http, "/panel.js", kPanelJs, sizeof kPanelJs,
        "text/javascript; charset=utf-8");

  http.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
    const auto state = State();
    if (!state) return Send(res, 503, {{"error", "server busy or stopping"}});
    Send(res, 200, *state);
  });

  http.Post("/api/action", [this](const httplib::Request& req,
                                  httplib::Response& res) {
    const Json action = Json::parse(req.body, nullptr, false);
    const auto answer = OnLoop([this, action] {
      std::string error;
      const int32_t r = server.Act(action, error);
      Json a = {{"ok", r == 0}, {"result", r}};
      if (r != 0) a["error"] = error;
      return a;
    });
    if (!answer) return Send(res, 503, {{"error", "server busy or stopping"}});
    Send(res, (*answer)["ok"].get<bool>() ? 200 : 400, *answer);
  });

  http.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
    auto seen = std::make_shared<uint64_t>(0);
    auto logSeen = std::make_shared<uint64_t>(0);
    res.set_header("Cache-Control", "no-store");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, seen, logSeen](size_t, httplib::DataSink& sink) {
          Events(sink, *seen, *logSeen);
          return !stopping.load();
        });
  });
}

// One round of the event stream: waits for a change (a bounded time), then
// sends the new log lines and the state.
void Panel::Impl::Events(httplib::DataSink& sink, uint64_t& seen,
                         uint64_t& logSeen) {
  for (int i = 0; i < 20 && !stopping && server.version() == seen; ++i) {
    std::this_thread::sleep_for(50ms);
  }
  if (stopping) {
    sink.done();
    return;
  }
  const uint64_t version = server.version();
  if (version == seen) {
    const std::string ping = ": ping\n\n";
    sink.write(ping.data(), ping.size());
    return;
  }
  const auto update = OnLoop([this, logSeen] {
    return Json{{"state", server.Snapshot()}, {"log", server.LogSince(logSeen)}};
  });
  if (!update) return;
  seen = version;
  std::string out;
  for (const Json& line : (*update)["log"]) {
    logSeen = line["seq"].get<uint64_t>();
    out += "event: log\ndata: " + line.dump() + "\n\n";
  }
  out += "event: state\ndata: " + (*update)["state"].dump() + "\n\n";
  sink.write(out.data(), out.size());
}

Panel::Panel(asio::io_context& io, Server& server, const Options& options)
    : impl_(std::make_unique<Impl>(io, server)) {
  port_ = options.panelPort;
  bind_ = options.bind;
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
  impl_->thread = std::thread([this] { impl_->http.listen_after_bind(); });
  return true;
}

void Panel::Stop() {
  if (!impl_) return;
  impl_->stopping = true;
  impl_->http.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

}  // namespace qxserver
