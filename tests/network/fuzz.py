"""Seeded fuzzing of qxsim-server: frames on the call and event ports
(`wire`), or requests to the panel (`panel`), each made from valid ones by
random changes, with an event stream open all along. The server must
answer or close every connection, keep serving a good client and a valid
state, and never die. The same seed makes the same run.

  fuzz.py wire|panel --server PATH --scenario FILE --work DIR
          [--seed N] [--count N]

A failure prints the line that runs it again."""
import argparse
import json
import os
import random
import socket
import sys
import threading
import time

from harness import Failure, check
from raw_clients import VERSION, Served, Stream, frame, http, state

OPERATIONS = {
    "ClientLogonEx": "lhsuullll", "ClientLogoff": "", "TestConnection": "",
    "GetPumpsCount": "", "ProcessEvents": "", "GetEventsCount": "", "GetNextEventType": "",
    "GetNextPumpEventEx2": "", "DiscardNextEvent": "", "GetDeliveriesCount": "",
    "GetDeliveryByOrdinal": "l", "GetDeliveryPropertiesEx2": "l", "LockDelivery": "l",
    "ClearDelivery": "lh", "GetHoseByOrdinal": "l", "GetHosePropertiesEx2": "l",
    "SetHosePrices": "lhhdd", "Authorise": "l", "TempStop": "l", "ReAuthorise": "l",
    "AllStop": "", "AllReAuthorise": ""}
ACTIONS = ["lift", "hangup", "run", "stop", "resume", "price", "drop", "restore", "fail",
           "hold"]
MEMBERS = ["hose", "pump", "volume", "amount", "price", "client", "clientId", "op", "code",
           "after"]


class Maker:
    """Random values, texts and byte changes, all from one seed."""

    def __init__(self, seed):
        self.r = random.Random(seed)

    def number(self):
        return self.r.choice([0, 1, -1, 2, 31, 41, 1001, 1006, 32767, 32768, 65535, 65536,
                              2**31 - 1, 2**31, -2**31 - 1, 2**63, 2**64, 5.799, 9999.999,
                              10000, 1e308, -1e308, 1e-320, 0.0009, -0.0,
                              self.r.randint(-2**40, 2**40), self.r.uniform(-1e6, 1e6)])

    def text(self):
        pieces = ["a", "\u20ac", "\u00e9", "\n", "\r", "\x00", "\x07", "\x1b[2J", "\u202e",
                  "\u2028", "\ud83d\ude00", "'", '"', "\\", "<script>", "%s", "ClearDelivery"]
        text = "".join(self.r.choice(pieces) for _ in range(self.r.randint(0, 12)))
        if self.r.random() < 0.05:
            text += "x" * self.r.choice([40, 255, 256, 5000, 70000])
        return text

    def value(self, depth=0):
        kind = self.r.random()
        if depth < 40 and kind < 0.15:
            return [self.value(depth + 1) for _ in range(self.r.randint(0, 3))]
        if depth < 40 and kind < 0.25:
            return {self.text(): self.value(depth + 1) for _ in range(self.r.randint(0, 3))}
        if kind < 0.6:
            return self.number()
        if kind < 0.9:
            return self.text()
        return self.r.choice([True, False, None])

    def deep(self):
        """Text of arrays or objects nested around the depth limit, or far past it."""
        depth = self.r.choice([31, 32, 33, 64, 5000, 30000])
        opening, closing = self.r.choice([("[", "]"), ('{"a":', "}")])
        return opening * depth + "1" + closing * depth

    def mutate(self, data):
        data = bytearray(data)
        for _ in range(self.r.randint(1, 4)):
            how = self.r.random()
            at = self.r.randint(0, len(data))
            if how < 0.3 and data:
                data[min(at, len(data) - 1)] = self.r.randint(0, 255)
            elif how < 0.55:
                data[at:at] = bytes(self.r.randint(0, 255) for _ in range(self.r.randint(1, 8)))
            elif how < 0.8:
                del data[at:at + self.r.randint(1, 8)]
            else:
                data[at:at] = self.r.choice([b"\xc3", b"\xe2\x82", b"\xff", b"\x00", b"\n"])
        return bytes(data)

    def text_of(self, value):
        return json.dumps(value, ensure_ascii=self.r.random() < 0.5).encode("utf-8",
                                                                           "surrogatepass")


class Watch:
    """An event stream read on its own thread: every event must parse."""

    def __init__(self, port):
        self.stream = Stream(port)
        self.events, self.error = 0, None
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        try:
            while True:
                self.stream.event("state", 120)
                self.events += 1
        except Exception as e:  # reported by check()
            self.error = e

    def check(self):
        check(self.error is None, "the event stream failed: %r" % self.error)


# The wire: batches of frames on one connection, then its end.

def call_frame(m):
    op = m.r.choice(list(OPERATIONS))
    args = [m.number() if k != "s" else m.text() for k in OPERATIONS[op]]
    if m.r.random() < 0.2:
        args = [m.value() for _ in range(m.r.randint(0, 10))]
    message = {"kind": "call", "op": op, "args": args}
    if m.r.random() < 0.1:
        message = m.value()
    return message


def wire_batch(m, s, left):
    """One connection's frames (at most `left`): (port, list of bytes)."""
    if m.r.random() < 0.2:  # the event port
        hello = {"kind": "hello", "version": VERSION, "role": "events",
                 "session": m.r.randint(0, 40), "key": m.r.choice(["", "0" * 32, m.text()])}
        return s.events, [frame(m.text_of(hello))][:left]
    frames = []
    if m.r.random() < 0.85:
        frames.append(frame({"kind": "hello", "version": VERSION, "role": "call"}))
        frames.append(frame({"kind": "call", "op": "ClientLogonEx",
                             "args": [m.r.randint(1, 200), 7, "127.0.0.1", 1, 1, 5000, 0, 0, 0]}))
    for _ in range(m.r.randint(1, 12)):
        how = m.r.random()
        if how < 0.5:
            data = frame(m.text_of(call_frame(m)))
        elif how < 0.65:
            data = frame(('{"kind":"call","op":"LockDelivery","args":%s}' % m.deep()).encode())
        elif how < 0.9:
            data = m.mutate(frame(m.text_of(call_frame(m))))
        else:
            data = m.r.choice([b"\x00\x00\x00\x00", b"\x00\x01\x00\x01", b"\xff\xff\xff\xff",
                               b"\x00\x00\x00\x05{oops", m.mutate(b"\x00\x00\x00\x02{}")])
        frames.append(data)
    return s.call, frames[:left]


def exchange(port, data, what):
    """Sends `data`, ends the sending side and reads until the server closes
    the connection; a reset is a close too (on bad input, before the rest
    was read). Silence for 10 s is a failure."""
    with socket.create_connection(("127.0.0.1", port), 10) as sock:
        try:
            sock.sendall(data)
            sock.shutdown(socket.SHUT_WR)
            while sock.recv(65536):
                pass
        except socket.timeout:
            raise Failure("the %s neither answered nor closed within 10 s" % what)
        except OSError:
            pass


def good_client(s):
    with socket.create_connection(("127.0.0.1", s.call), 10) as sock:
        for message in ({"kind": "hello", "version": VERSION, "role": "call"},
                        {"kind": "call", "op": "ClientLogonEx",
                         "args": [500, 7, "127.0.0.1", 1, 1, 5000, 0, 0, 0]},
                        {"kind": "call", "op": "GetPumpsCount", "args": []}):
            sock.sendall(frame(message))
            data = b""
            while len(data) < 4 or len(data) < 4 + int.from_bytes(data[:4], "big"):
                chunk = sock.recv(65536)
                check(chunk, "a good client was closed after %r" % message)
                data += chunk
        reply = json.loads(data[4:])
        check(reply.get("out") == [2], "a good client's pump count: got %s" % reply)


def run_wire(m, s, count):
    sent = 0
    while sent < count:
        port, frames = wire_batch(m, s, count - sent)
        exchange(port, b"".join(frames), "server")
        sent += len(frames)
        yield sent
    good_client(s)


# The panel: one request per connection, read to its end.

def action(m):
    a = {"action": m.r.choice(ACTIONS) if m.r.random() < 0.9 else m.text()}
    for key in m.r.sample(MEMBERS, m.r.randint(0, 4)):
        a[key] = m.value() if m.r.random() < 0.5 else m.number()
    if a["action"] in ("fail", "hold") and m.r.random() < 0.5:
        a["op"] = m.r.choice(list(OPERATIONS))
    return a


def panel_request(m, port):
    own = "127.0.0.1:%d" % port
    method, path, body = "POST", "/api/action", m.text_of(action(m))
    headers = {"Host": own, "Content-Type": "application/json"}
    how = m.r.random()
    if how < 0.1:
        body = ('{"action":"lift","hose":%s}' % m.deep()).encode()
    elif how < 0.25:
        body = m.mutate(body)
    elif how < 0.35:
        method, path, body = m.r.choice([("GET", "/api/state", b""), ("GET", "/", b""),
                                         ("GET", "/panel.js", b""), ("GET", "/nothing", b""),
                                         ("PUT", "/api/action", body), ("OPTIONS", "/api/action", b""),
                                         ("GET", "/api/state?token=" + m.text(), b"")])
    if m.r.random() < 0.3:
        key = m.r.choice(["Host", "Origin", "Content-Type", "Sec-Fetch-Site",
                          "Transfer-Encoding", "Authorization", "X-" + m.text()[:20]])
        headers[key] = m.r.choice([own, "evil.example", "http://" + own, "text/plain",
                                   "chunked", "same-origin", "cross-site", m.text()[:300]])
    head = "%s %s HTTP/1.1\r\n" % (method, path)
    head += "".join("%s: %s\r\n" % (k, v) for k, v in headers.items())
    head += "Content-Length: %d\r\n\r\n" % len(body)
    raw = head.encode("utf-8", "surrogatepass") + body
    return m.mutate(raw) if m.r.random() < 0.1 else raw


def run_panel(m, s, count):
    for i in range(count):
        exchange(s.panel, panel_request(m, s.panel), "panel")
        yield i + 1


def main():
    p = argparse.ArgumentParser()
    p.add_argument("target", choices=("wire", "panel"))
    p.add_argument("--server", required=True)
    p.add_argument("--scenario", required=True)
    p.add_argument("--work", required=True)
    p.add_argument("--seed", type=int, default=22)
    p.add_argument("--count", type=int, default=10000)
    a = p.parse_args()
    os.makedirs(a.work, exist_ok=True)
    replay = "replay: %s %s --server %s --scenario %s --work %s --seed %d --count %d" % (
        sys.argv[0], a.target, a.server, a.scenario, a.work, a.seed, a.count)
    s = Served(a.server, a.scenario, a.work, "fuzz-" + a.target, ["--quiet"])
    start, done = time.monotonic(), 0
    try:
        watch = Watch(s.panel)
        run = run_wire if a.target == "wire" else run_panel
        for done in run(Maker(a.seed), s, a.count):
            if done % 500 == 0 or done == a.count:
                check(s.alive(), "the server died")
                watch.check()
                texts = [line["text"] for line in state(s.panel)["log"]]
                bad = [t for t in texts if any(ord(c) < 0x20 for c in t)]
                check(not bad, "control characters in the log: %r" % bad[:3])
        time.sleep(1.5)  # the stream's next round
        watch.check()
        check(watch.events > 0, "the event stream brought no state")
    except Exception as e:  # whatever it met: the figures and the replay line
        print("FAILED after %d %s: %s" % (done, "frames" if a.target == "wire" else "requests", e))
        print(replay)
        if not s.alive():
            print("the server died; its stderr ends:\n" + s.log()[-3000:])
        return 1
    finally:
        s.stop()
    print("%s fuzz: %d %s in %.1f s, seed %d, %d state events streamed; server alive"
          % (a.target, done, "frames" if a.target == "wire" else "requests",
             time.monotonic() - start, a.seed, watch.events))
    return 0


if __name__ == "__main__":
    sys.exit(main())
