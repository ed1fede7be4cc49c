"""Clients that speak to qxsim-server byte by byte, as a hostile or careless
one would: raw HTTP requests to the panel, raw frames on the wire, an event
stream read by hand; and a server of our own to aim them at (native, or the
Windows build under Wine), on free ports of 127.0.0.1, that stops by itself.

Every process started here is stopped here, by its own PID only."""
import json
import os
import socket
import struct
import subprocess
import time

from harness import check

VERSION = 2  # of the wire protocol


class Served:
    def __init__(self, program, scenario, work, name, extra=(), wine=None,
                 stop_after=600, limit_files=None):
        self.err_path = os.path.join(work, name + ".log")
        self.err = open(self.err_path, "w")
        command = ([wine] if wine else []) + [
            program, "--call-port", "0", "--event-port", "0", "--panel-port", "0",
            "--scenario", scenario, "--stop-after", str(stop_after)] + list(extra)

        def limit():  # runs in the child only
            import resource
            resource.setrlimit(resource.RLIMIT_NOFILE, (limit_files, limit_files))
        self.process = subprocess.Popen(
            command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=self.err,
            text=True, preexec_fn=limit if limit_files else None)
        line = self.process.stdout.readline()
        check(line.startswith("listening"), "the server did not start: %r; %s"
              % (line, self.log()[-500:]))
        fields = dict(item.split("=") for item in line.split()[1:])
        self.call, self.events, self.panel = (int(fields[k]) for k in ("call", "events", "panel"))
        self.token = fields.get("token")

    def log(self):
        """What the server wrote on stderr so far."""
        self.err.flush()
        with open(self.err_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def alive(self):
        return self.process.poll() is None

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.err.close()


def read_head(sock, data=b""):
    """Reads up to the end of a response's head: (head, what came after)."""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        check(chunk, "the connection closed before a response: %r" % data[:200])
        data += chunk
    return data.split(b"\r\n\r\n", 1)


def read_response(sock):
    """One HTTP response: (status, headers with lower-case names, body)."""
    head, body = read_head(sock)
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1])
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    length = int(headers.get("content-length", "0"))
    while len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            break
        body += chunk
    return status, headers, body[:length]


def http(port, method="GET", path="/api/state", headers=None, body=b"", host=None,
         length=True, timeout=20):
    """One request on a connection of its own; (status, headers, body).
    `headers` values of None leave that header out."""
    fields = {"Host": host if host is not None else "127.0.0.1:%d" % port}
    if method != "GET" and length:
        fields["Content-Length"] = str(len(body))
    fields.update(headers or {})
    head = "%s %s HTTP/1.1\r\n" % (method, path) + "".join(
        "%s: %s\r\n" % (k, v) for k, v in fields.items() if v is not None) + "\r\n"
    with socket.create_connection(("127.0.0.1", port), timeout) as sock:
        sock.sendall(head.encode("latin-1") + body)
        return read_response(sock)


def post(port, action, content_type="application/json", **more):
    body = action if isinstance(action, bytes) else json.dumps(action).encode()
    headers = dict(more.pop("headers", {}))
    headers.setdefault("Content-Type", content_type)
    return http(port, "POST", "/api/action", headers, body, **more)


def state(port, **more):
    status, _, body = http(port, **more)
    check(status == 200, "GET /api/state: got %d %r, wanted 200" % (status, body[:200]))
    return json.loads(body)


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
        n = struct.unpack(">I", self._exactly(4))[0]
        return json.loads(self._exactly(n))

    def hello(self, token=None):
        message = {"kind": "hello", "version": VERSION, "role": "call"}
        if token:
            message["token"] = token
        self.send(message)
        return self.receive()

    def call(self, op, *args):
        self.send({"kind": "call", "op": op, "args": list(args)})
        return self.receive()

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

    def __init__(self, port, path="/api/events", receive_buffer=None, timeout=20):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        if receive_buffer:  # before connect: the window stays small
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, receive_buffer)
        self.sock.settimeout(timeout)
        self.sock.connect(("127.0.0.1", port))
        self.sock.sendall(("GET %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n\r\n"
                           % (path, port)).encode())
        head, self.raw = read_head(self.sock)
        self.status = int(head.split()[1])
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
                    data = [l[6:] for l in lines if l.startswith("data: ")]
                    return json.loads(data[0])
            self._more()
        check(False, "no %s event within %d s" % (kind, seconds))

    def close(self):
        self.sock.close()
