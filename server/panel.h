// The server's live panel: one web page (embedded at build time), a JSON
// snapshot (GET /api/state), actions (POST /api/action) and the state
// pushed as it changes (GET /api/events, server-sent events). It runs on
// its own threads and reaches the server only through the server's loop.
// Who may use it: server/http_guard.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <asio.hpp>

#include "server/connections.h"

namespace qxserver {

class Panel {
 public:
  Panel(asio::io_context& io, Server& server, const Options& options);
  ~Panel();
  // Binds and starts serving; false with a reason (also when this build
  // has no panel).
  bool Start(std::string& error);
  uint16_t port() const { return port_; }
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  uint16_t port_ = 0;
  std::string bind_;
  std::string token_;
};

}  // namespace qxserver
