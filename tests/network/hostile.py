"""qxsim-server and its panel as a hostile or careless client meets them:
each case sends what such a client sends and checks the server's answer,
then that the server still serves. The groups follow the ways in which the
server once failed: depth (nesting that overflowed a stack), utf8 (client
text cut or raw in the log), origin (requests from other pages and names),
values (prices no pump can hold), streams (event streams that took every
worker), sessions (names, keys, slow and idle clients, caps, locks).

  hostile.py --server PATH --scenario FILE --work DIR [--wine PATH]
             [--groups depth,utf8,...]"""
import argparse
import json
import os
import subprocess
import sys
import time
import traceback

from harness import Failure, check, wait_for
from raw_clients import VERSION, Served, Stream, Wire, frame, http, post, state

SECURITY = {
    "content-security-policy": "default-src 'self'; frame-ancestors 'none'",
    "x-content-type-options": "nosniff",
    "referrer-policy": "no-referrer",
    "cache-control": "no-store",
}


def nested(depth, inner="1"):
    return "[" * depth + inner + "]" * depth


def answer(result, status, wanted, text=None):
    """Checks an HTTP answer's status and, when given, a text in its body."""
    got_status, _, body = result
    check(got_status == wanted and (text is None or text.encode() in body),
          "got %d %r, wanted %d%s" % (got_status, body[:160], wanted,
                                      " with %r" % text if text else ""))


def price_of(port, hose=31):
    return {h["id"]: h["price"] for p in state(port)["pumps"] for h in p["hoses"]}[hose]


def log_texts(port):
    return [line["text"] for line in state(port)["log"]]


def logged(port, text, seconds=10):
    return wait_for("a log line with %r" % text,
                    lambda: any(text in line for line in log_texts(port)), seconds)


def logged_on(port):
    """A raw call connection, welcomed and logged on as client id 97."""
    w = Wire(port)
    check(w.hello()["kind"] == "welcome", "no welcome")
    got = w.call("ClientLogonEx", 97, 7, "127.0.0.1", 1, 1, 5000, 0, 0, 0)
    check(got["result"] == 0, "logon: got %s" % got)
    return w


def pump_state(port, number=1):
    return [p["stateName"] for p in state(port)["pumps"] if p["number"] == number][0]


# depth

def depth_issue_request(s):
    body = nested(100000).encode()  # 200 KB, as any page can post it
    answer(post(s.panel, body, "text/plain"), 403, 403, "application/json")


def depth_issue_request_as_json(s):
    answer(post(s.panel, nested(100000).encode()), 413, 413, "65536")


def depth_under_body_limit(s):
    answer(post(s.panel, nested(30000).encode()), 400, 400, "deeper than 32")


def depth_at_the_limit(s):
    action = '{"action":"price","hose":31,"price":5.799,"pad":%s}'
    answer(post(s.panel, (action % nested(31)).encode()), 200, 200)
    answer(post(s.panel, (action % nested(32)).encode()), 400, 400, "deeper than 32")


def depth_on_the_wire(s):
    w = Wire(s.call)
    check(w.hello()["kind"] == "welcome", "no welcome")
    w.send(frame(('{"kind":"call","op":"LockDelivery","args":%s}' % nested(5000)).encode()))
    check(w.closed(), "a call nested 5,000 deep left the connection open")
    logged(s.panel, "nests deeper than 32 levels")
    got = logged_on(s.call).call("GetPumpsCount")
    check(got["out"] == [2], "the next client's pump count: got %s" % got)


def depth_of_a_hello(s):
    hello = '{"kind":"hello","version":%d,"role":"call","pad":%s}'
    w = Wire(s.call)
    w.send(frame((hello % (VERSION, nested(31))).encode()))
    check(w.receive()["kind"] == "welcome", "a hello nested 32 deep was not welcomed")
    w = Wire(s.call)
    w.send(frame((hello % (VERSION, nested(32))).encode()))
    check(w.closed(), "a hello nested 33 deep was welcomed")


# utf8

def utf8_kind_cut_with_a_stream_open(s):
    stream = Stream(s.panel)
    stream.event("state")
    kind = "a" * 19 + "\u20ac" + "b" * 8  # the cut at 20 bytes halves the euro sign
    data = frame(('{"kind":"%s"}' % kind).encode())
    check(len(data) == 45, "the frame is %d bytes, wanted 45" % len(data))
    w = Wire(s.call)
    w.send(data)
    check(w.closed(), "a kind before hello left the connection open")
    # Strict UTF-8: a broken line fails as it is read.
    lines = [stream.event("log")["text"] for _ in range(2)]
    check(any("before hello" in line for line in lines), "the stream's log: %r" % lines)
    stream.event("state")
    stream.close()
    for _ in range(3):
        state(s.panel)


def utf8_operation_cut(s):
    w = Wire(s.call)
    w.hello()
    w.send({"kind": "call", "op": "a" * 39 + "\u20ac", "args": []})
    check(w.closed(), "an unknown operation left the connection open")
    line = logged(s.panel, "unknown operation")
    line = [l for l in log_texts(s.panel) if "unknown operation" in l][-1]
    check(line.endswith("a\u2026'; connection closed"), "logged %r" % line)


def utf8_control_characters(s):
    w = Wire(s.call)
    w.send({"kind": "x\nFORGED\r\x07\x1b[2J\u202ey"})
    check(w.closed(), "the connection stayed open")
    line = logged(s.panel, "FORGED")
    check(not any(ord(c) < 0x20 or c == "\u202e" for t in log_texts(s.panel) for c in t),
          "control characters in the log: %r" % line)
    forged = [l for l in s.log().splitlines() if l.startswith("FORGED")]
    check(not forged, "a forged line on stderr: %r" % forged)


def utf8_invalid_in_the_panel(s):
    answer(post(s.panel, b'{"action":"lift","hose":"\xc3"}'), 400, 400, "not JSON")
    status, _, body = post(s.panel, {"action": "lift\n\x07" + "z" * 40, "hose": 31})
    error = json.loads(body)["error"]
    check(status == 400 and not any(ord(c) < 0x20 for c in error),
          "got %d %r, wanted 400 without control characters" % (status, error))


# origin

def origin_issue_request(s):
    result = post(s.panel, {"action": "stop", "pump": 1}, "text/plain",
                  headers={"Origin": "http://evil.example"})
    answer(result, 403, 403)
    check(pump_state(s.panel) != "stopped", "pump 1 was stopped")


def origin_foreign_as_json(s):
    result = post(s.panel, {"action": "stop", "pump": 1},
                  headers={"Origin": "http://evil.example"})
    answer(result, 403, 403, "another origin")


def origin_rebinding(s):
    host = "evil.example:%d" % s.panel
    answer(http(s.panel, host=host), 403, 403, "does not name this panel")
    answer(http(s.panel, path="/", host=host), 403, 403)
    answer(post(s.panel, {"action": "stop", "pump": 1}, host=host), 403, 403)
    answer(http(s.panel, host="127.0.0.1:1"), 403, 403)
    answer(http(s.panel, host=""), 403, 403)


def origin_own_page(s):
    own = "127.0.0.1:%d" % s.panel
    action = {"action": "price", "hose": 31, "price": 5.799}
    answer(post(s.panel, action, headers={"Origin": "http://" + own,
                                          "Sec-Fetch-Site": "same-origin"}), 200, 200)
    answer(post(s.panel, action, "application/json; charset=utf-8"), 200, 200)
    for host in ("localhost:%d" % s.panel, "[::1]:%d" % s.panel, "LocalHost:%d" % s.panel):
        answer(http(s.panel, host=host), 200, 200)


def origin_what_a_post_must_be(s):
    action = {"action": "stop", "pump": 1}
    answer(post(s.panel, action, headers={"Content-Type": None}), 403, 403)
    answer(post(s.panel, action, "application/x-www-form-urlencoded"), 403, 403)
    answer(post(s.panel, action, headers={"Sec-Fetch-Site": "cross-site"}), 403, 403)
    answer(post(s.panel, action, length=False,
                headers={"Transfer-Encoding": "chunked"}), 411, 411)
    check(pump_state(s.panel) != "stopped", "pump 1 was stopped")


def origin_security_headers(s):
    for what, result in (("the page", http(s.panel, path="/")),
                         ("the script", http(s.panel, path="/panel.js")),
                         ("the state", http(s.panel)),
                         ("a refusal", http(s.panel, host="evil.example")),
                         ("a missing page", http(s.panel, path="/nothing"))):
        missing = {k: v for k, v in SECURITY.items() if result[1].get(k) != v}
        check(not missing, "%s lacks %s" % (what, missing))


def origin_remote_bind_refused(s):
    out = s.spawn_refusal(["--bind", "0.0.0.0"])
    check(out[0] == 2 and "--allow-remote" in out[1],
          "got exit code %s and %r, wanted 2 naming --allow-remote" % out)


def origin_access_token(s):
    t = s.with_token
    check(t.token and len(t.token) == 32, "no 32-digit token in the listening line")
    answer(http(t.panel), 403, 403, "access token")
    answer(http(t.panel, path="/api/state?token=" + "0" * 32), 403, 403)
    answer(http(t.panel, headers={"Authorization": "Bearer " + t.token}), 200, 200)
    answer(http(t.panel, path="/?token=" + t.token), 200, 200)
    answer(http(t.panel, path="/panel.js"), 200, 200)
    answer(post(t.panel, {"action": "stop", "pump": 1}, headers={
        "Authorization": "Bearer " + t.token, "Origin": "http://evil.example"}), 403, 403)
    w = Wire(t.call)
    w.send({"kind": "hello", "version": VERSION, "role": "call"})
    check(w.closed(), "a hello without the token was welcomed")
    check(Wire(t.call).hello(t.token)["kind"] == "welcome", "the token's hello got no welcome")


# values

def values_issue_request(s):
    answer(post(s.panel, {"action": "price", "hose": 31, "price": 1e308}), 400, 400, "9999.999")
    check(price_of(s.panel) == 5.799, "the price became %s" % price_of(s.panel))


def values_price_on_the_wire(s):
    w = logged_on(s.call)
    got = w.call("SetHosePrices", 31, 2, 1, 1e308, 1e308)
    check(got["result"] == 2, "SetHosePrices 1e308: got %s, wanted result 2" % got)
    check(w.call("GetPumpsCount")["result"] == 0, "the connection did not go on")
    check(price_of(s.panel) == 5.799, "the price became %s" % price_of(s.panel))


def values_ranges(s):
    cases = [({"action": "price", "hose": 31, "price": 9999.999}, 200),
             ({"action": "price", "hose": 31, "price": 5.799}, 200),
             ({"action": "price", "hose": 31, "price": 10000}, 400),
             ({"action": "price", "hose": 31, "price": 0}, 400),
             ({"action": "price", "hose": 31, "price": -5}, 400),
             ({"action": "price", "hose": 31, "price": 0.0009}, 400),
             ({"action": "price", "hose": 31, "price": "5"}, 400),
             ({"action": "run", "hose": 41, "volume": 1e308}, 400),
             ({"action": "run", "hose": 41, "volume": 10000.001}, 400),
             ({"action": "run", "hose": 41, "amount": 1e308}, 400),
             ({"action": "run", "hose": 41, "amount": 0}, 400)]
    wrong = [(a, r[0]) for a, want in cases for r in [post(s.panel, a)] if r[0] != want]
    answer(post(s.panel, b'{"action":"price","hose":31,"price":1e999}'), 400, 400)
    check(not wrong, "got other statuses for %s" % wrong)
    numbers = [v for p in state(s.panel)["pumps"] for h in p["hoses"] for v in h.values()]
    check(None not in numbers, "a hose's number went out as null: %s" % numbers)


# streams

def streams_do_not_starve_the_panel(s):
    streams = [Stream(s.panel, receive_buffer=4096) for _ in range(64)]
    try:
        for st in streams:
            check(st.status == 200, "stream answered %d" % st.status)
        start = time.monotonic()
        state(s.panel, timeout=5)
        print("    /api/state with 64 streams open: %.1f ms" % ((time.monotonic() - start) * 1000))
        extra = Stream(s.panel)
        check(extra.status == 503 and b"64 event streams" in extra.raw + extra.sock.recv(4096),
              "the 65th stream answered %d, wanted 503" % extra.status)
        # None of the 64 reads: changes fill their buffers; their writes time
        # out and they end, which lets a new stream in.
        start, price = time.monotonic(), 5.0

        def admitted():
            nonlocal price
            price = 5.0 if price != 5.0 else 5.5
            post(s.panel, {"action": "price", "hose": 42, "price": price})
            fresh = Stream(s.panel)
            fresh.close()
            return fresh.status == 200
        wait_for("a stream slot freed from one that is not read", admitted, 90)
        print("    streams that were not read freed a slot after %.1f s"
              % (time.monotonic() - start))
        logged(s.panel, "was not read; closed")
    finally:
        for st in streams:
            st.close()


# sessions

def sessions_fail_and_hold_names(s):
    for action, status in (({"action": "fail", "op": "Explode", "code": 1}, 400),
                           ({"action": "hold", "op": "Explode"}, 400),
                           ({"action": "fail", "op": "A" * 100, "code": 1}, 400),
                           ({"action": "fail", "op": "AllReAuthorise", "code": 6}, 200)):
        answer(post(s.panel, action), status, status)
    big = json.dumps({"action": "fail", "op": "A" * (10 << 20), "code": 1}).encode()
    answer(post(s.panel, big), 413, 413)


def sessions_event_key(s):
    host = Wire(s.call)
    welcome = host.hello()
    check(len(welcome.get("key", "")) == 32, "the welcome hands out no key: %s" % welcome)
    session = welcome["session"]
    for key in (None, "0" * 32, welcome["key"][:-1] + "x"):
        hello = {"kind": "hello", "version": VERSION, "role": "events", "session": session}
        if key:
            hello["key"] = key
        thief = Wire(s.events)
        thief.send(hello)
        check(thief.closed(), "an event hello with key %r was taken" % key)
    events = Wire(s.events)
    events.send({"kind": "hello", "version": VERSION, "role": "events", "session": session,
                 "key": welcome["key"]})
    check(events.receive()["kind"] == "welcome", "the host's own event hello was refused")
    check(host.call("TestConnection")["result"] == 1, "the host's link did not go on")


def sessions_slow_clients(s):
    silent_call, silent_events = Wire(s.call), Wire(s.events)
    partial = Wire(s.call)
    partial.hello()
    partial.send(b"\x00\x00")
    start = time.monotonic()
    check(silent_call.closed(15) and silent_events.closed(5), "a silent connection stayed open")
    waited = time.monotonic() - start
    check(9 <= waited <= 15, "silent connections closed after %.1f s, wanted 10" % waited)
    logged(s.panel, "no hello within 10 s")
    check(partial.closed(30), "a partial frame stayed open")
    waited = time.monotonic() - start
    check(29 <= waited <= 35, "a partial frame closed after %.1f s, wanted 30" % waited)
    logged(s.panel, "a frame not finished within 30 s")


def sessions_connection_cap(s):
    held = [Wire(s.call) for _ in range(64)]
    for w in held:
        w.hello()
    extra = Wire(s.call)
    check(extra.closed(5), "the 65th call connection stayed open")
    logged(s.panel, "64 are open, as many as the server takes")
    for w in held:
        w.close()
    wait_for("the connections gone", lambda: not state(s.panel)["clients"])
    check(Wire(s.call).hello()["kind"] == "welcome", "no welcome after the cap")


def sessions_held_call_released(s):
    w = logged_on(s.call)
    check(w.call("LockDelivery", 1001)["result"] == 0, "lock")
    answer(post(s.panel, {"action": "hold", "op": "ClearDelivery"}), 200, 200)
    w.send({"kind": "call", "op": "ClearDelivery", "args": [1001, 1]})
    wait_for("the call held", lambda: any(c["held"] for c in state(s.panel)["clients"]))
    w.close()  # the host dies, with no event connection

    def released():
        st = state(s.panel)
        return not st["clients"] and all(d["lockedBy"] == -1 for d in st["waiting"])
    wait_for("the dead host's lock released", released, 10)


def sessions_descriptor_limit(s):
    srv = s.spawn(["--no-panel"], "fd-limit", limit_files=48)
    held = []
    try:
        for _ in range(60):  # fewer than the cap: descriptors run out first
            held.append(Wire(srv.call, timeout=2))
        time.sleep(1)
        ticks = cpu_ticks(srv.process.pid)
        time.sleep(2)
        spent = (cpu_ticks(srv.process.pid) - ticks) / os.sysconf("SC_CLK_TCK")
        backing = srv.log().count("cannot accept call connections")
        check(backing == 1, "%d lines on failing accepts, wanted 1" % backing)
        check(spent < 0.5, "the server spent %.2f s of CPU in 2 s at the limit" % spent)
        for w in held:
            w.close()
        wait_for("accepting again", lambda: Wire(srv.call, timeout=2).hello()["kind"] == "welcome")
        check("accepting call connections again" in srv.log(), "no line when accepts came back")
    finally:
        srv.stop()


def cpu_ticks(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


GROUPS = {
    "depth": [depth_issue_request, depth_issue_request_as_json, depth_under_body_limit,
              depth_at_the_limit, depth_on_the_wire, depth_of_a_hello],
    "utf8": [utf8_kind_cut_with_a_stream_open, utf8_operation_cut, utf8_control_characters,
             utf8_invalid_in_the_panel],
    "origin": [origin_issue_request, origin_foreign_as_json, origin_rebinding, origin_own_page,
               origin_what_a_post_must_be, origin_security_headers, origin_remote_bind_refused,
               origin_access_token],
    "values": [values_issue_request, values_price_on_the_wire, values_ranges],
    "streams": [streams_do_not_starve_the_panel],
    "sessions": [sessions_fail_and_hold_names, sessions_event_key, sessions_slow_clients,
                 sessions_connection_cap, sessions_held_call_released, sessions_descriptor_limit],
}


class Bench:
    """The server the cases aim at (its ports and log), and the means to
    start others: one with an access token, one short of descriptors, one
    that refuses to start."""

    def __init__(self, args):
        self.args = args
        self.main = self.spawn([], "server")
        self.call, self.events, self.panel = self.main.call, self.main.events, self.main.panel
        self.log, self.alive = self.main.log, self.main.alive
        self.with_token = None

    def spawn(self, extra, name, **more):
        return Served(self.args.server, self.args.scenario, self.args.work, name, extra,
                      self.args.wine, **more)

    def spawn_refusal(self, extra):
        command = ([self.args.wine] if self.args.wine else []) + [self.args.server] + extra
        done = subprocess.run(command, capture_output=True, text=True, timeout=120)
        return done.returncode, done.stderr


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--server", required=True)
    p.add_argument("--scenario", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--wine")
    p.add_argument("--groups", default=",".join(GROUPS))
    a = p.parse_args()
    os.makedirs(a.work, exist_ok=True)
    s = Bench(a)
    failed = []
    try:
        for group in a.groups.split(","):
            if group == "origin":
                s.with_token = s.spawn(["--allow-remote"], "server-token")
            for case in GROUPS[group]:
                try:
                    case(s)
                    check(s.alive(), "the server died: %s" % s.log()[-800:])
                    state(s.panel)
                    print("ok   %s" % case.__name__)
                except Exception as e:  # every case reports, whatever it met
                    failed.append(case.__name__)
                    print("FAIL %s: %s" % (case.__name__, e))
                    if not isinstance(e, Failure):
                        traceback.print_exc()
                    if not s.alive():
                        print("the server died; its log ends:\n" + s.log()[-2000:])
                        return 1
            if group == "origin":
                s.with_token.stop()
    finally:
        s.main.stop()
    print("%d failed: %s" % (len(failed), ", ".join(failed)) if failed else "all passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
