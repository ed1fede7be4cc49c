#include "server/http_guard.h"

#include <algorithm>
#include <cctype>

#include "server/access.h"
#include "server/limits.h"
#include "server/log_text.h"

namespace qxserver {
namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return text;
}

// The media type of a Content-Type, without parameters or blanks.
std::string MediaType(const std::string& contentType) {
  std::string type = Lower(contentType.substr(0, contentType.find(';')));
  const auto blank = [](unsigned char c) { return std::isspace(c); };
  type.erase(std::remove_if(type.begin(), type.end(), blank), type.end());
  return type;
}

// A Content-Length: digits only; more than 12 of them read as too long.
bool ReadLength(const std::string& text, uint64_t& length) {
  if (text.empty()) return false;
  length = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    if (length < 1000000000000) length = length * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

PanelGuard::Verdict Refuse(int status, std::string reason) { return {status, std::move(reason)}; }

}  // namespace

PanelGuard::PanelGuard(const std::string& bind, uint16_t port, std::string token)
    : token_(std::move(token)) {
  std::set<std::string> names = {"127.0.0.1", "localhost", "[::1]"};
  if (bind != "0.0.0.0" && bind != "::") {
    names.insert(bind.find(':') != std::string::npos ? "[" + bind + "]" : bind);
  }
  for (const std::string& name : names) {
    hosts_.insert(Lower(name) + ":" + std::to_string(port));
    if (port == 80) hosts_.insert(Lower(name));  // browsers leave it out
  }
}

PanelGuard::Verdict PanelGuard::Check(const PanelRequest& r) const {
  const std::string host = Lower(r.host);
  if (token_.empty() && !hosts_.count(host)) {
    return Refuse(403, "Host '" + CleanText(r.host, limits::kLoggedName) +
                           "' does not name this panel; open it at "
                           "127.0.0.1 or localhost with its port");
  }
  // The page's style and script hold no data; the page names them without
  // the token.
  const bool asset = r.path == "/panel.css" || r.path == "/panel.js";
  if (!token_.empty() && !asset && !SameKey(r.token, token_)) {
    return Refuse(403,
                  "this panel takes its access token: open the address that "
                  "qxsim-server printed, which ends in ?token=");
  }
  if (!r.origin.empty() && Lower(r.origin) != "http://" + host) {
    return Refuse(403, "requests from another origin (" + CleanText(r.origin, limits::kLoggedName) +
                           ") are refused");
  }
  const std::string site = Lower(r.fetchSite);
  if (!site.empty() && site != "same-origin" && site != "none") {
    return Refuse(403, "requests from another site are refused");
  }
  if (r.method == "GET" || r.method == "HEAD") return {};
  if (MediaType(r.contentType) != "application/json") {
    return Refuse(403,
                  "a request that changes anything must be sent as "
                  "Content-Type: application/json");
  }
  uint64_t length = 0;
  if (!r.transferEncoding.empty() || r.contentLength.empty()) {
    return Refuse(411, "a body needs its Content-Length");
  }
  if (!ReadLength(r.contentLength, length)) {
    return Refuse(400, "Content-Length is not a number");
  }
  if (length > limits::kMaxPanelBody) {
    return Refuse(413, "a body is at most " + std::to_string(limits::kMaxPanelBody) + " bytes");
  }
  return {};
}

}  // namespace qxserver
