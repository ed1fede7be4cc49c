"""Seeded fuzzing of qxsim-server: frames on the call and event ports (`wire`) or requests to
the panel (`panel`), made from valid ones by random changes, with an event stream open all
along. The server must answer or close every connection, keep its stream, log and a good client
well, and live. The same seed makes the same run; a failure prints the line that runs it again."""
import json
import random
import socket
import sys
import threading
import time

from harness import VERSION, Failure, Server, Stream, Wire, arguments, check, frame

KINDS = {"ClientLogonEx": "lhsuullll", "GetDeliveryByOrdinal": "l", "ClearDelivery": "lh",
         "GetDeliveryPropertiesEx2": "l", "LockDelivery": "l", "GetHosePropertiesEx2": "l",
         "SetHosePrices": "lhhdd", "Authorise": "l", "TempStop": "l", "ReAuthorise": "l"}
OPERATIONS = list(KINDS) + [
    "ClientLogoff", "TestConnection", "GetPumpsCount", "ProcessEvents", "GetEventsCount",
    "GetNextEventType", "GetNextPumpEventEx2", "DiscardNextEvent", "GetDeliveriesCount",
    "GetHoseByOrdinal", "AllStop", "AllReAuthorise"]
ACTIONS = ["lift", "hangup", "run", "stop", "resume", "price", "drop", "restore", "fail", "hold"]
MEMBERS = ["hose", "pump", "volume", "amount", "price", "client", "clientId", "op", "code", "after"]
PIECES = ["a", "\u20ac", "\u00e9", "\n", "\r", "\x00", "\x07", "\x1b[2J", "\u202e", "\u2028",
          "\ud83d", "'", '"', "\\", "<script>", "ClearDelivery"]


class Maker:
    """Values, texts and byte changes, all from one seed."""

    def __init__(self, seed):
        self.r = random.Random(seed)

    def number(self):
        return self.r.choice([0, 1, -1, 31, 41, 1001, 32767, 32768, 65536, 2**31 - 1, 2**31,
                              2**63, 2**64, 5.799, 9999.999, 1e308, -1e308, 1e-320, -0.0,
                              self.r.randint(-2**40, 2**40), self.r.uniform(-1e6, 1e6)])

    def text(self):
        text = "".join(self.r.choice(PIECES) for _ in range(self.r.randint(0, 12)))
        return text + "x" * self.r.choice([0] * 60 + [255, 256, 5000, 70000])

    def value(self, depth=0):
        kind = self.r.random()
        if depth < 40 and kind < 0.25:
            items = [self.value(depth + 1) for _ in range(self.r.randint(0, 3))]
            return items if kind < 0.15 else {self.text(): v for v in items}
        return self.number() if kind < 0.6 else self.text() if kind < 0.9 else None

    def deep(self, around):
        depth = self.r.choice([31, 32, 33, 64, 5000, 30000])
        opening, closing = self.r.choice([("[", "]"), ('{"a":', "}")])
        return (around % (opening * depth + "1" + closing * depth)).encode()

    def encode(self, value):
        return json.dumps(value, ensure_ascii=self.r.random() < 0.5).encode("utf-8",
                                                                           "surrogatepass")

    def mutate(self, data):
        data = bytearray(data)
        for _ in range(self.r.randint(1, 4)):
            at, how = self.r.randint(0, len(data)), self.r.random()
            if how < 0.3 and data:
                data[min(at, len(data) - 1)] = self.r.randint(0, 255)
            elif how < 0.6:
                del data[at:at + self.r.randint(1, 8)]
            else:
                data[at:at] = self.r.choice([b"\xc3", b"\xe2\x82", b"\xff", b"\x00", b"\n",
                                             bytes([self.r.randint(0, 255)] * 3)])
        return bytes(data)


def exchange(port, data, what):
    """Sends `data` and reads until the server closes (or resets) the connection."""
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


def wire(m, s):
    """One connection's frames: (port, frames)."""
    if m.r.random() < 0.2:
        hello = {"kind": "hello", "version": VERSION, "role": "events",
                 "session": m.r.randint(0, 40), "key": m.r.choice(["", "0" * 32, m.text()])}
        return s.events, [frame(m.encode(hello))]
    frames = []
    if m.r.random() < 0.85:
        frames = [frame({"kind": "hello", "version": VERSION, "role": "call"}),
                  frame({"kind": "call", "op": "ClientLogonEx",
                         "args": [m.r.randint(1, 200), 7, "127.0.0.1", 1, 1, 5000, 0, 0, 0]})]
    for _ in range(m.r.randint(1, 12)):
        op = m.r.choice(OPERATIONS)
        args = [m.text() if k == "s" else m.number() for k in KINDS.get(op, "")]
        call = {"kind": "call", "op": op, "args": args if m.r.random() < 0.8 else m.value()}
        how = m.r.random()
        if how < 0.55:
            frames.append(frame(m.encode(call if how < 0.5 else m.value())))
        elif how < 0.7:
            frames.append(frame(m.deep('{"kind":"call","op":"LockDelivery","args":%s}')))
        elif how < 0.92:
            frames.append(m.mutate(frame(m.encode(call))))
        else:
            frames.append(m.r.choice([b"\x00\x00\x00\x00", b"\xff\xff\xff\xff",
                                      b"\x00\x00\x00\x05{oops", b"\x00\x01\x00\x01"]))
    return s.call, frames


def request(m, port):
    own = "127.0.0.1:%d" % port
    a = {"action": m.r.choice(ACTIONS) if m.r.random() < 0.9 else m.text()}
    for key in m.r.sample(MEMBERS, m.r.randint(0, 4)):
        a[key] = m.value() if m.r.random() < 0.5 else m.number()
    if a["action"] in ("fail", "hold") and m.r.random() < 0.5:
        a["op"] = m.r.choice(OPERATIONS)
    method, path, body = "POST", "/api/action", m.encode(a)
    headers = {"Host": own, "Content-Type": "application/json"}
    how = m.r.random()
    if how < 0.1:
        body = m.deep('{"action":"lift","hose":%s}')
    elif how < 0.25:
        body = m.mutate(body)
    elif how < 0.35:
        method, path = m.r.choice([("GET", "/api/state"), ("GET", "/"), ("GET", "/nothing"),
                                   ("PUT", "/api/action"), ("OPTIONS", "/api/action"),
                                   ("GET", "/api/state?token=" + m.text()[:100])])
    if m.r.random() < 0.3:
        key = m.r.choice(["Host", "Origin", "Content-Type", "Sec-Fetch-Site",
                          "Transfer-Encoding", "Authorization", "X-" + m.text()[:20]])
        headers[key] = m.r.choice([own, "evil.example", "http://" + own, "text/plain",
                                   "chunked", "cross-site", m.text()[:300]])
    head = "%s %s HTTP/1.1\r\n%sContent-Length: %d\r\n\r\n" % (
        method, path, "".join("%s: %s\r\n" % kv for kv in headers.items()), len(body))
    raw = head.encode("utf-8", "surrogatepass") + body
    return m.mutate(raw) if m.r.random() < 0.1 else raw


def main():
    a = arguments("server scenario work", ("wire", "panel"), seed=22, count=10000)
    unit, what = ("frames", "server") if a.case == "wire" else ("requests", "panel")
    s = Server(a.server, a.scenario, a.work, "fuzz-" + a.case, ["--quiet"], stop_after=600)
    m, done, checked, start = Maker(a.seed), 0, 0, time.monotonic()
    stream, streamed, broken = Stream(s.panel), [0], []

    def follow():  # every state the stream brings must parse
        try:
            while True:
                stream.event("state", 120)
                streamed[0] += 1
        except Exception as e:
            broken.append(e)
    threading.Thread(target=follow, daemon=True).start()
    try:
        while done < a.count:
            port, pieces = wire(m, s) if a.case == "wire" else (s.panel, [request(m, s.panel)])
            pieces = pieces[:a.count - done]
            exchange(port, b"".join(pieces), what)
            done += len(pieces)
            if done - checked >= 500 or done == a.count:
                checked = done
                check(s.alive() and not broken, "the server or its stream failed: %s" % broken)
                bad = [l["text"] for l in s.state()["log"] if any(ord(c) < 32 for c in l["text"])]
                check(not bad, "control characters in the log: %r" % bad[:3])
        if a.case == "wire":  # the panel's runs may have held any call
            got = Wire(s.call).logon(500).call("GetPumpsCount")
            check(got.get("out") == [2], "a good client's pump count: %r" % got)
        time.sleep(1.5)  # the stream's next round
        check(not broken and streamed[0] > 0, "the stream failed or brought nothing: %s" % broken)
    except Exception as e:  # whatever it met: where, and the line that replays it
        print("FAILED after %d %s: %s" % (done, unit, e))
        print("replay:", *sys.argv)  # the defaults make the same run
        if not s.alive():
            print("the server died; its stderr ends:\n" + s.log()[-3000:])
        return 1
    finally:
        s.stop()
    print("%s fuzz: %d %s in %.1f s, seed %d, %d states streamed; the server lives"
          % (a.case, done, unit, time.monotonic() - start, a.seed, streamed[0]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
