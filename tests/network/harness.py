"""What the network and trace tests share: qxsim-server on free ports of 127.0.0.1 (native, or
under Wine), clients that speak to it byte by byte, and korvan-host consoles under Wine. Every
process started here is stopped here, by its own PID; the server also stops by itself."""
import argparse
import functools
import json
import os
import select
import shutil
import socket
import struct
import subprocess
import time
from pathlib import Path

VERSION = 2  # of the wire protocol


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_for(what, probe, seconds=20):
    """Polls probe() until it is true; a bounded wait, not a timed check."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = probe()
        if value:
            return value
        time.sleep(0.05)
    raise Failure("gave up waiting for " + what)


def arguments(required, case=None, **optional):
    """The command line: a CASE among `case`, the `required` options, the `optional` ones."""
    p = argparse.ArgumentParser()
    if case:
        p.add_argument("case", choices=sorted(case))
    for name in required.split():
        p.add_argument("--" + name, required=True)
    for name, default in optional.items():
        p.add_argument("--" + name, default=default, type=type(default) if default else str)
    return p.parse_args()


class Server:
    """qxsim-server; `extra` options come after the defaults, and so override them. Its
    sibling(name, extra, ...) is another server started as this one was."""

    def __init__(self, program, scenario, work, name="server", extra=(), wine=None,
                 stop_after=900, limit_files=None):
        os.makedirs(work, exist_ok=True)
        self.command = ([wine] if wine else []) + [program]
        self.sibling = functools.partial(Server, program, scenario, work, wine=wine,
                                         stop_after=stop_after)
        self.log_path = os.path.join(work, name + ".log")
        self.err = open(self.log_path, "w")

        def limit():  # runs in the child only
            import resource
            resource.setrlimit(resource.RLIMIT_NOFILE, (limit_files, limit_files))
        self.process = subprocess.Popen(
            self.command + ["--call-port", "0", "--event-port", "0", "--panel-port", "0",
                            "--scenario", scenario, "--stop-after", str(stop_after)] + list(extra),
            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self.err, text=True,
            preexec_fn=limit if limit_files else None)
        line = self.process.stdout.readline()
        if not line.startswith("listening"):
            message = "the server did not start: %r; %s" % (line, self.log()[-500:])
            self.stop()
            raise Failure(message)
        fields = dict(item.split("=") for item in line.split()[1:])
        self.call, self.events, self.panel = (int(fields.get(k, 0))
                                              for k in ("call", "events", "panel"))
        self.token = fields.get("token")

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()

    def log(self):
        """What the server wrote on stderr so far."""
        if not self.err.closed:
            self.err.flush()
        return Path(self.log_path).read_bytes().decode("utf-8", "replace")

    def alive(self):
        return self.process.poll() is None

    def state(self, **more):
        status, _, body = http(self.panel, **more)
        check(status == 200, "GET /api/state: got %d %r, wanted 200" % (status, body[:200]))
        return json.loads(body)

    def act(self, **action):
        status, _, body = post(self.panel, action)
        check(status == 200 and json.loads(body).get("ok"),
              "panel refused %s: %d %r" % (action, status, body[:200]))

    def held(self):
        """Whether the panel holds a client's call."""
        return any(c["held"] for c in self.state()["clients"])

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.err.close()
        return self.process.returncode


def read_head(sock, data=b""):
    """A response's head read: (status, headers with lower-case names, what came after)."""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        check(chunk, "the connection closed before a response: %r" % data[:200])
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    fields = (line.partition(":") for line in lines[1:])
    return int(lines[0].split()[1]), {n.strip().lower(): v.strip() for n, _, v in fields}, rest


def http(port, method="GET", path="/api/state", headers=None, body=b"", host=None, timeout=20):
    """One request on a connection of its own: (status, headers, body). `headers` values of
    None leave that header out."""
    fields = {"Host": host if host is not None else "127.0.0.1:%d" % port}
    if method != "GET":
        fields["Content-Length"] = str(len(body))
    fields.update(headers or {})
    head = "%s %s HTTP/1.1\r\n" % (method, path) + "".join(
        "%s: %s\r\n" % (k, v) for k, v in fields.items() if v is not None) + "\r\n"
    with socket.create_connection(("127.0.0.1", port), timeout) as sock:
        sock.sendall(head.encode("latin-1") + body)
        status, headers, body = read_head(sock)
        length = int(headers.get("content-length", "0"))
        while len(body) < length:
            chunk = sock.recv(65536)
            if not chunk:
                break
            body += chunk
    return status, headers, body[:length]


def post(port, action, content_type="application/json", **more):
    body = action if isinstance(action, bytes) else json.dumps(action).encode()
    headers = dict(more.pop("headers", {}))
    headers.setdefault("Content-Type", content_type)
    return http(port, "POST", "/api/action", headers, body, **more)


def frame(message):
    body = message if isinstance(message, bytes) else json.dumps(message).encode()
    return struct.pack(">I", len(body)) + body


class Wire:
    """A raw connection to the call or event port."""

    def __init__(self, port, timeout=10):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout)

    def send(self, data):
        self.sock.sendall(data if isinstance(data, bytes) else frame(data))

    def _exactly(self, n):
        data = b""
        while len(data) < n:
            chunk = self.sock.recv(n - len(data))
            check(chunk, "the server closed the connection")
            data += chunk
        return data

    def receive(self):
        return json.loads(self._exactly(struct.unpack(">I", self._exactly(4))[0]))

    def hello(self):
        self.send({"kind": "hello", "version": VERSION, "role": "call"})
        return self.receive()

    def call(self, op, *args):
        self.send({"kind": "call", "op": op, "args": list(args)})
        return self.receive()

    def logon(self, client=97):
        check(self.hello()["kind"] == "welcome", "no welcome")
        got = self.call("ClientLogonEx", client, 7, "127.0.0.1", 1, 1, 5000, 0, 0, 0)
        check(got["result"] == 0, "logon: got %s" % got)
        return self

    def closed(self, seconds=10):
        """True once the server has closed the connection (within `seconds`)."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.sock.settimeout(max(0.05, end - time.monotonic()))
            try:
                if not self.sock.recv(65536):
                    return True
            except (ConnectionResetError, BrokenPipeError):
                return True
            except socket.timeout:
                return False
        return False

    def close(self):
        self.sock.close()


class Stream:
    """GET /api/events, its chunked body read as server-sent events."""

    def __init__(self, port, receive_buffer=None, timeout=20):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer:  # before connect: the window stays small
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.sock.settimeout(timeout)
        self.sock.connect(("127.0.0.1", port))
        self.sock.sendall(b"GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n" % port)
        self.status, self.headers, self.raw = read_head(self.sock)
        self.text = b""

    def _more(self):
        chunk = self.sock.recv(65536)
        check(chunk, "the event stream ended")
        self.raw += chunk
        while b"\r\n" in self.raw:  # chunked framing off
            size_line, rest = self.raw.split(b"\r\n", 1)
            size = int(size_line, 16)
            if len(rest) < size + 2:
                return
            self.text += rest[:size]
            self.raw = rest[size + 2:]

    def event(self, kind, seconds=20):
        """The data of the next event of `kind`, parsed; others skipped."""
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            while b"\n\n" in self.text:
                block, self.text = self.text.split(b"\n\n", 1)
                lines = block.decode("utf-8").split("\n")
                if "event: " + kind in lines:
                    return json.loads([l[6:] for l in lines if l.startswith("data: ")][0])
            self._more()
        raise Failure("no %s event within %d s" % (kind, seconds))

    def close(self):
        self.sock.close()


def write_ini(folder, call, events):
    """The driver's _Korvan.ini naming the server's ports."""
    Path(folder, "_Korvan.ini").write_text(
        "[Korvan]\r\nNumberPortIp=%d\r\nNumberEventPort=%d\r\nTimeOut=5000\r\n" % (call, events))


def station(args, name, body):
    """Runs body(server, host folder) against the native server on station.scenario, in a
    fresh work folder; the host folder holds korvan-host, the driver and our QXClient.dll
    (no scenario beside it: network mode). 0 when it passes."""
    if not os.path.exists(args.server):
        print("no native qxsim-server at %s: build the native preset first" % args.server)
        return 1
    work = os.path.join(args.work, name)
    shutil.rmtree(work, ignore_errors=True)
    folder = os.path.join(work, "host")
    os.makedirs(folder)
    with Server(args.server, Path(__file__).with_name("station.scenario"), work) as server:
        try:
            for f in ("korvan-host.exe", "_Korvan.dll", "QXClient.dll"):
                shutil.copy(os.path.join(args.bin, f), folder)
            write_ini(folder, server.call, server.events)
            body(server, folder)
        except Failure as failure:
            print("FAILED:", failure)
            print("server log:", server.log_path)
            return 1
    print("passed")
    return 0


class Host:
    """korvan-host console under Wine; each command's answer is what it prints up to its
    next prompt. Given hoses, it logs on and registers them."""

    def __init__(self, wine, folder, hoses=None):
        env = {k: v for k, v in os.environ.items() if k != "QXSIM_SCENARIO"}
        self.process = subprocess.Popen(
            [os.path.abspath(wine), os.path.join(os.path.abspath(folder), "korvan-host.exe"),
             "console"], cwd=folder, env=env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.pending = ""
        self.answer(120)  # the banner
        if hoses:
            answer = self.do("inicia")
            check(answer.startswith("logged on"), "no logon: %r" % answer)
            for hose in hoses:
                answer = self.do("registra %d 1 3 3 2 3" % hose)
                check(answer.startswith("registered hose id"), "registra %d: %r" % (hose, answer))

    def answer(self, seconds=60):
        end, out = time.monotonic() + seconds, self.process.stdout.fileno()
        while not self.pending.endswith("> "):
            ready = select.select([out], [], [], max(0.1, end - time.monotonic()))[0]
            check(ready, "korvan-host did not answer within %d s" % seconds)
            data = os.read(out, 4096)
            check(data, "korvan-host ended; it said: %r" % self.pending)
            self.pending += data.decode("cp1252")
        answer, self.pending = self.pending[:-2].strip(), ""
        return answer

    def send(self, line):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()

    def do(self, line, seconds=60):
        self.send(line)
        return self.answer(seconds)

    def poll(self):
        """The code of the delivery handed over, or None."""
        answer = self.do("poll")
        return int(answer.split(" code ")[1].split()[0], 16) if answer.startswith("nozzle") \
            else None

    def drain(self, confirmed):
        """Polls and confirms until nothing is handed over; appends each code confirmed."""
        code = self.poll()
        while code is not None:
            check(self.do("confirm") == "ok", "confirmation of %d refused" % code)
            confirmed.append(code)
            code = self.poll()
        return confirmed

    def status(self):
        """The status letters, or the console's failure line."""
        answer = self.do("status")
        return answer if answer.startswith("0:") else answer.split()[0]

    def kill(self):
        """A hard death, TerminateProcess-like: SIGKILL to this PID only."""
        self.process.kill()
        self.process.wait()

    def quit(self):
        if self.process.poll() is None:
            try:
                self.send("quit")
                self.process.wait(30)
            except (OSError, subprocess.TimeoutExpired):
                self.kill()
