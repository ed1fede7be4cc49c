"""What the network tests share: the native qxsim-server on free ports, and
korvan-host consoles under Wine driven through their standard input.

Every process started here is stopped here, by its own PID only; the server
also stops by itself after a bounded time (--stop-after)."""
import json
import os
import queue
import shutil
import subprocess
import threading
import time
import urllib.request


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


class Server:
    def __init__(self, program, scenario, work, options=()):
        """`options` come after the defaults, and so override them."""
        self.log_path = os.path.join(work, "server.log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen(
            [program, "--call-port", "0", "--event-port", "0", "--panel-port", "0",
             "--scenario", scenario, "--stop-after", "900"] + list(options),
            stdout=subprocess.PIPE, stderr=self.log, text=True)
        with open(os.path.join(work, "server.pid"), "w") as pid:
            pid.write(str(self.process.pid))
        line = self.process.stdout.readline()
        check(line.startswith("listening"), "the server did not start: %r" % line)
        ports = dict(item.split("=") for item in line.split()[1:])
        self.call, self.events, self.panel = (int(ports[k]) for k in ("call", "events", "panel"))
        self.url = "http://127.0.0.1:%d" % self.panel

    def state(self):
        with urllib.request.urlopen(self.url + "/api/state", timeout=10) as r:
            return json.load(r)

    def act(self, **action):
        request = urllib.request.Request(self.url + "/api/action",
                                         data=json.dumps(action).encode(), method="POST",
                                         headers={"Content-Type": "application/json"})
        with urllib.request.urlopen(request, timeout=10) as r:
            answer = json.load(r)
        check(answer.get("ok"), "panel refused %s: %s" % (action, answer))

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()
        return self.process.returncode


def host_folder(bin_dir, work, server, name="host"):
    """A folder with korvan-host, the driver and our QXClient.dll (no
    scenario beside it: network mode) and a _Korvan.ini naming the ports."""
    folder = os.path.join(work, name)
    os.makedirs(folder, exist_ok=True)
    for f in ("korvan-host.exe", "_Korvan.dll", "QXClient.dll"):
        shutil.copy(os.path.join(bin_dir, f), folder)
    with open(os.path.join(folder, "_Korvan.ini"), "w") as ini:
        ini.write("[Korvan]\r\nNumberPortIp=%d\r\nNumberEventPort=%d\r\nTimeOut=5000\r\n"
                  % (server.call, server.events))
    return folder


class Host:
    """korvan-host console under Wine; each command's answer is what it
    prints up to its next prompt."""

    def __init__(self, wine, folder):
        env = dict(os.environ)
        env.pop("QXSIM_SCENARIO", None)
        self.process = subprocess.Popen(
            [os.path.abspath(wine), os.path.join(os.path.abspath(folder), "korvan-host.exe"),
             "console"], cwd=folder, env=env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.chunks = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self.pending = ""
        self._answer(120)  # the banner

    def _read(self):
        while True:
            data = self.process.stdout.read1(4096)
            if not data:
                self.chunks.put(None)
                return
            self.chunks.put(data.decode("cp1252"))

    def _answer(self, seconds):
        end = time.monotonic() + seconds
        while not self.pending.endswith("> "):
            try:
                chunk = self.chunks.get(timeout=max(0.1, end - time.monotonic()))
            except queue.Empty:
                raise Failure("korvan-host did not answer within %d s" % seconds)
            if chunk is None:
                raise Failure("korvan-host ended; it said: %r" % self.pending)
            self.pending += chunk
        answer, self.pending = self.pending[:-2].strip(), ""
        return answer

    def send(self, line):
        self.process.stdin.write((line + "\n").encode())
        self.process.stdin.flush()

    def do(self, line, seconds=60):
        self.send(line)
        return self._answer(seconds)

    def start(self, hoses):
        answer = self.do("inicia")
        check(answer.startswith("logged on"), "no logon: %r" % answer)
        for hose in hoses:
            answer = self.do("registra %d 1 3 3 2 3" % hose)
            check(answer.startswith("registered hose id"), "registra %d: %r" % (hose, answer))

    def poll(self):
        """The code of the delivery handed over, or None."""
        answer = self.do("poll")
        if not answer.startswith("nozzle"):
            return None
        return int(answer.split(" code ")[1].split()[0], 16)

    def status(self):
        """The status letters, or the console's failure line."""
        answer = self.do("status")
        return answer if answer.startswith("0:") else answer.split()[0]

    def kill(self):
        """A hard death, TerminateProcess-like: SIGKILL to this PID only."""
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()

    def quit(self):
        if self.process.poll() is None:
            try:
                self.send("quit")
                self.process.wait(30)
            except (OSError, subprocess.TimeoutExpired):
                self.kill()
