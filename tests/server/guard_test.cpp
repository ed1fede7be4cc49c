// The rules that keep hostile input out of qxsim-server, one table each: client text made fit for
// the log, JSON nested too deep, the panel's requests, the bound address and the keys.
#include <gtest/gtest.h>

#include <string>

#include "server/access.h"
#include "server/http_guard.h"
#include "server/log_text.h"
#include "sim/model/protocol.h"

namespace {

using qxserver::CleanText;
using qxserver::PanelGuard;
using qxserver::PanelRequest;
using qxsim::wire::Json;
using qxsim::wire::ParseFault;

TEST(LogText, IsValidUtf8WithoutControlsAndCutOnACharacter) {
  const std::string a17(17, 'a');
  const struct {
    std::string text;
    size_t max;
    std::string want;
  } cases[] = {
      {"plain text", 40, "plain text"},
      {"a\nb\r\tc\x07\x1b[2J\x7f", 40, "abc[2J"},
      {u8"x\u0085y\u2028z\u202e!\u2066", 40, "xyz!"},             // C1, separator, bidi
      {std::string(19, 'a') + u8"\u20ac", 20, a17 + u8"\u2026"},  // the euro not halved
      {"\xC3(", 40, u8"\uFFFD("},
      {"\xC0\xAF", 40, u8"\uFFFD\uFFFD"},                      // an overlong slash
      {"\xED\xA0\x80", 40, u8"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", 40, u8"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"\xE2\x82", 40, u8"\uFFFD\uFFFD"},                      // a character cut short
      {"abcd", 4, "abcd"},
      {"abcde", 4, u8"a\u2026"},
      {"abcde", 2, ""},
      {u8"\u00e9t\u00e9", 40, u8"\u00e9t\u00e9"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CleanText(c.text, c.max), c.want)
        << "text " << testing::PrintToString(c.text) << ", at most " << c.max;
  }
}

std::string Nested(int depth, const std::string& open = "[", const std::string& close = "]") {
  std::string text;
  for (int i = 0; i < depth; ++i) text += open;
  text += "1";
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

TEST(Depth, ValuesNest32DeepAtMost) {
  const struct {
    const char* what;
    std::string text;
    ParseFault want;
  } cases[] = {
      {"32 arrays", Nested(32), ParseFault::kNone},
      {"33 arrays", Nested(33), ParseFault::kTooDeep},
      {"100,000 arrays", Nested(100000), ParseFault::kTooDeep},
      {"33 objects", Nested(33, "{\"a\":", "}"), ParseFault::kTooDeep},
      {"32 levels beside a flat member", "{\"kind\":\"x\",\"a\":" + Nested(31) + ",\"b\":[1]}",
       ParseFault::kNone},
      {"33 levels after a flat member", "{\"b\":[1],\"a\":" + Nested(32) + "}",
       ParseFault::kTooDeep},
      {"cut short", "[[1,", ParseFault::kSyntax},
      {"not UTF-8", "[\"\xC3\"]", ParseFault::kSyntax},
      {"empty", "", ParseFault::kSyntax},
  };
  for (const auto& c : cases) {
    Json value;
    ParseFault fault = ParseFault::kNone;
    const bool ok = qxsim::wire::ParseValue(c.text, value, &fault);
    EXPECT_EQ(fault, c.want) << c.what;
    EXPECT_EQ(ok, c.want == ParseFault::kNone) << c.what;
  }
  Json m;
  EXPECT_TRUE(qxsim::wire::Parse("{\"kind\":\"x\"}", m));
  EXPECT_FALSE(qxsim::wire::Parse("{\"kind\":1}", m));
  EXPECT_FALSE(qxsim::wire::Parse("[\"kind\"]", m));
}

PanelRequest Request(const char* method, const char* host) {
  PanelRequest r;
  r.method = method;
  r.path = "/api/action";
  r.host = host;
  if (std::string(method) == "POST") {
    r.contentType = "application/json";
    r.contentLength = "20";
  }
  return r;
}

TEST(PanelGuard, ServesItsOwnNameAndPageOnly) {
  const PanelGuard local("127.0.0.1", 8080, "");
  const auto with = [](PanelRequest r, std::string PanelRequest::*field, const char* value) {
    r.*field = value;
    return r;
  };
  const PanelRequest get = Request("GET", "127.0.0.1:8080");
  const PanelRequest post = Request("POST", "127.0.0.1:8080");
  using R = PanelRequest;
  const struct {
    const char* what;
    PanelRequest request;
    int want;
  } cases[] = {
      {"its address", get, 0},
      {"localhost", Request("GET", "localhost:8080"), 0},
      {"LocalHost", Request("GET", "LocalHost:8080"), 0},
      {"IPv6 loopback", Request("GET", "[::1]:8080"), 0},
      {"another name (DNS rebinding)", Request("GET", "evil.example:8080"), 403},
      {"another port", Request("GET", "127.0.0.1:8081"), 403},
      {"no port", Request("GET", "127.0.0.1"), 403},
      {"no Host", Request("GET", ""), 403},
      {"a read from another origin", with(get, &R::origin, "http://evil.example"), 403},
      {"a JSON post", post, 0},
      {"from its own page", with(post, &R::origin, "http://127.0.0.1:8080"), 0},
      {"from another origin", with(post, &R::origin, "http://evil.example"), 403},
      {"from a sandbox", with(post, &R::origin, "null"), 403},
      {"same-origin fetch", with(post, &R::fetchSite, "same-origin"), 0},
      {"cross-site fetch", with(post, &R::fetchSite, "cross-site"), 403},
      {"same-site fetch", with(post, &R::fetchSite, "same-site"), 403},
      {"as text/plain", with(post, &R::contentType, "text/plain"), 403},
      {"as a form", with(post, &R::contentType, "application/x-www-form-urlencoded"), 403},
      {"without a type", with(post, &R::contentType, ""), 403},
      {"JSON with a charset", with(post, &R::contentType, "Application/JSON; charset=utf-8"), 0},
      {"chunked", with(post, &R::transferEncoding, "chunked"), 411},
      {"without a length", with(post, &R::contentLength, ""), 411},
      {"64 KiB", with(post, &R::contentLength, "65536"), 0},
      {"64 KiB and a byte", with(post, &R::contentLength, "65537"), 413},
      {"a length of 20 digits", with(post, &R::contentLength, "99999999999999999999"), 413},
      {"a length that is no number", with(post, &R::contentLength, "1e3"), 400},
  };
  for (const auto& c : cases) {
    const PanelGuard::Verdict v = local.Check(c.request);
    EXPECT_EQ(v.status, c.want) << c.what << ": " << v.reason;
    EXPECT_EQ(v.reason.empty(), c.want == 0) << c.what;
  }
  EXPECT_EQ(PanelGuard("127.0.0.1", 80, "").Check(Request("GET", "localhost")).status, 0)
      << "a browser leaves port 80 out of Host";
}

TEST(PanelGuard, WithATokenAnyNameButOnlyWithTheToken) {
  const std::string token(32, '7');
  const PanelGuard remote("0.0.0.0", 8080, token);
  PanelRequest r = Request("POST", "station.example:8080");
  EXPECT_EQ(remote.Check(r).status, 403) << "no token";
  r.token = std::string(31, '7') + "8";
  EXPECT_EQ(remote.Check(r).status, 403) << "a wrong token";
  r.token = token;
  EXPECT_EQ(remote.Check(r).status, 0) << "the token";
  r.origin = "http://evil.example";
  EXPECT_EQ(remote.Check(r).status, 403) << "the token from another origin";
  PanelRequest script = Request("GET", "station.example:8080");
  script.path = "/panel.js";
  EXPECT_EQ(remote.Check(script).status, 0) << "the page's script needs no token";
}

TEST(Access, LoopbackAlwaysElsewhereOnlyWhenAllowed) {
  const struct {
    const char* address;
    bool allow;
    bool ok;
    bool remote;
  } cases[] = {
      {"127.0.0.1", false, true, false}, {"127.5.5.5", false, true, false},
      {"::1", false, true, false},       {"0.0.0.0", false, false, true},
      {"::", false, false, true},        {"192.168.1.10", false, false, true},
      {"0.0.0.0", true, true, true},     {"192.168.1.10", true, true, true},
      {"localhost", true, false, false}, {"", false, false, false},
  };
  for (const auto& c : cases) {
    bool remote = !c.remote;
    std::string problem;
    EXPECT_EQ(qxserver::CheckBind(c.address, c.allow, remote, problem), c.ok)
        << c.address << " allow " << c.allow << ": " << problem;
    if (c.ok) {
      EXPECT_EQ(remote, c.remote) << c.address;
    } else {
      EXPECT_FALSE(problem.empty()) << c.address;
    }
  }
}

TEST(Access, KeysAreRandomAndComparedWhole) {
  std::string a, b;
  ASSERT_TRUE(qxserver::RandomKey(a));
  ASSERT_TRUE(qxserver::RandomKey(b));
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a.find_first_not_of("0123456789abcdef"), std::string::npos) << a;
  EXPECT_NE(a, b);
  EXPECT_TRUE(qxserver::SameKey(a, a));
  EXPECT_FALSE(qxserver::SameKey(a, b));
  EXPECT_FALSE(qxserver::SameKey(a, a.substr(0, 31)));
  EXPECT_FALSE(qxserver::SameKey("", a));
}

}  // namespace
