// Which panel requests are served. The panel drives the forecourt, so it
// answers as local developer servers do: only requests addressed to it by
// its own name (no DNS rebinding), state changes only as JSON from its own
// page (no form or `text/plain` post from another site, which needs no
// preflight), and with the access token when the server is open beyond its
// machine. Plain data in, a verdict out: the HTTP library stays outside.
#pragma once

#include <cstdint>
#include <set>
#include <string>

namespace qxserver {

// The parts of a request that the guard reads; empty when not sent.
struct PanelRequest {
  std::string method;
  std::string path;
  std::string host;
  std::string origin;
  std::string fetchSite;  // Sec-Fetch-Site
  std::string contentType;
  std::string contentLength;
  std::string transferEncoding;
  std::string token;  // from `Authorization: Bearer` or `?token=`
};

class PanelGuard {
 public:
  // The panel on `port`, bound to `bind`; `token` empty when none is
  // required. With a token every Host is taken: the token is the guard.
  PanelGuard(const std::string& bind, uint16_t port, std::string token);

  struct Verdict {
    int status = 0;  // 0: serve it; else the HTTP status to answer
    std::string reason;
  };
  Verdict Check(const PanelRequest& request) const;

 private:
  std::set<std::string> hosts_;  // Host values that name this panel
  std::string token_;
};

}  // namespace qxserver
