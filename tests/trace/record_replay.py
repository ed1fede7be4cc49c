"""A station session recorded through the tracing QXClient.dll and replayed by the simulator:
the host sees the same results and outputs, and the driver writes the same log. A host that
makes another call at one step is told where its calls leave the trace; a host killed while
recording leaves a trace that replays up to its last line. The sessions are trace_session
(session.cpp) under Wine; the server is the native qxsim-server."""
import collections
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "network"))
from harness import Failure, Server, arguments, check, wait_for, write_ini  # noqa: E402

STEPS = 30
SESSION = ["--out", "transcript.txt", "--scenario", "day.scenario", "--steps", STEPS]
PLANTED = 12  # the step at which the planted host reads a price instead of the status
TIMEOUT = 600
TRACE = {"QXSIM_TRACE": "day.jsonl"}


class Run:
    def __init__(self, args):
        self.args = args
        self.work = os.path.join(args.work, args.case)
        shutil.rmtree(self.work, ignore_errors=True)
        os.makedirs(self.work)

    def folder(self, name, tracer, ports=None, trace=None):
        """trace_session, the driver and the client library (the tracer with the simulator
        behind it, or the simulator alone), and a copy of `trace`."""
        folder, bin_ = os.path.join(self.work, name), self.args.bin
        os.makedirs(folder)
        for f in ("trace_session.exe", "_Korvan.dll", "korvan-host.exe"):
            shutil.copy(os.path.join(bin_, f), folder)
        shutil.copy(self.args.scenario, os.path.join(folder, "day.scenario"))
        shutil.copy(os.path.join(bin_, "QXClient.dll"),
                    os.path.join(folder, "QXClient.real.dll" if tracer else "QXClient.dll"))
        if tracer:
            shutil.copy(os.path.join(bin_, "trace", "QXClient.dll"), folder)
        if ports:
            write_ini(folder, *ports)
        if trace:
            shutil.copy(trace, folder)
        return folder

    def command(self, folder, program, *options):
        return [os.path.abspath(self.args.wine), os.path.join(folder, program)] + [
            str(o) for o in options]

    def env(self, **extra):
        env = {k: v for k, v in os.environ.items()
               if k not in ("QXSIM_SCENARIO", "QXSIM_TRACE", "QXTRACE_REAL", "QXTRACE_FILE")}
        return dict(env, **extra)

    def run(self, folder, program, *options, **env):
        """Runs `program` of `folder` under Wine to its end; its stdout."""
        done = subprocess.run(self.command(folder, program, *options), cwd=folder,
                              env=self.env(**env), capture_output=True, text=True, timeout=TIMEOUT)
        check(done.returncode == 0, "%s in %s ended with %d: %s%s"
              % (program, folder, done.returncode, done.stdout, done.stderr))
        return done.stdout

    def session(self, folder, *options, **env):
        return self.run(folder, "trace_session.exe", *SESSION, *options, **env)

    def record(self, folder, *options):
        self.session(folder, "--marks", "marks.txt", *options, QXTRACE_FILE="day.jsonl")
        return os.path.join(folder, "day.jsonl")


def read_trace(path):
    """The trace's whole lines, parsed; the last piece is torn or empty."""
    return [json.loads(line) for line in Path(path).read_text(encoding="utf-8").split("\n")[:-1]]


def calls_in(trace):
    return sum(1 for line in read_trace(trace) if "op" in line)


def planted_divergence(trace, folder):
    """Where the planted host must leave the trace: the first call of its planted step, as the
    recording's marks place it."""
    marks = Path(folder, "marks.txt").read_text()
    before = int(dict(re.findall(r"step (\d+) line (\d+)", marks))[str(PLANTED)])
    lines = read_trace(trace)  # `before` lines were written before that step
    call = sum(1 for line in lines[:before + 1] if "op" in line)
    value = lambda v: json.dumps(v, ensure_ascii=False) if isinstance(v, str) else str(v)
    line = lines[before]
    return before + 1, call, "%s(%s)" % (line["op"], ",".join(map(value, line.get("in", []))))


def same_transcripts(recorded, replayed):
    texts = [Path(folder, "transcript.txt").read_text(encoding="cp1252").splitlines()
             for folder in (recorded, replayed)]
    check(len(texts[0]) > STEPS and any(l.startswith("log:") for l in texts[0]),
          "the recording's transcript is short: %s" % texts[0][:5])
    for number, (a, b) in enumerate(zip(*texts), 1):
        check(a == b, "transcripts differ at line %d:\n  recorded: %s\n  replayed: %s"
              % (number, a, b))
    check(len(texts[0]) == len(texts[1]),
          "transcripts of %d and %d lines" % (len(texts[0]), len(texts[1])))
    return texts[0]


def check_summary(run, folder, trace, transcript):
    """korvan-host's summary against the host's own account and the trace."""
    summary = run.run(folder, "korvan-host.exe", "trace", "day.jsonl")
    print(summary)
    confirmed = sum(1 for line in transcript if re.match(r"step \d+ confirm 1$", line))
    totals = re.search(r"deliveries handed over (\d+), confirmed (\d+), discarded (\d+)", summary)
    check(totals and int(totals.group(2)) == confirmed,
          "the summary's confirmed deliveries (%s) are not the host's %d"
          % (totals and totals.group(0), confirmed))
    check(int(totals.group(3)) == 1 and "volume 0.0004" in summary and "discarded" in summary,
          "the drop of fuel is not shown discarded")
    for event in ("logon", "link lost: TestConnection answered 1", "reconnected", "logoff"):
        check(re.search(r"\d\d:\d\d:\d\d\.\d{3}  %s" % re.escape(event), summary),
              "the timeline lacks %r" % event)
    calls = collections.Counter(line["op"] for line in read_trace(trace) if "op" in line)
    for op, count in calls.items():
        check(re.search(r"^  %s +%d +\d+ +\d+ +\d+$" % (op, count), summary, re.M),
              "the latency table lacks %s with %d calls" % (op, count))
    check(re.search(r"^  TestConnection +1 +\d+ of \d+ calls$", summary, re.M),
          "the errors lack TestConnection's code 1")


def in_process(run):
    # The planted divergence is the server case's (the same replay) and the tracer's unit test's.
    recorded = run.folder("record", tracer=True)
    trace = run.record(recorded)
    replayed = run.folder("replay", tracer=False, trace=trace)
    said = run.session(replayed, **TRACE)
    wanted = "replay: answered %d calls, no divergence" % calls_in(trace)
    check(wanted in said, "the replay said %r, wanted %r" % (said, wanted))
    check_summary(run, recorded, trace, same_transcripts(recorded, replayed))


def server(run):
    """A recording through qxsim-server, replayed by servers on the same ports (the logon's
    inputs hold them)."""
    with Server(run.args.server, run.args.scenario, run.work, "live-server") as live:
        ports = (live.call, live.events)
        recorded = run.folder("record", tracer=True, ports=ports)
        trace = run.record(recorded, "--network", "--pace", "500")
    results = {}
    for name, options in (("replay", []), ("planted", ["--planted", PLANTED])):
        with live.sibling(name + "-server", ["--trace", trace, "--call-port", str(ports[0]),
                                             "--event-port", str(ports[1])]) as replaying:
            run.session(run.folder(name, tracer=False, ports=ports), "--network", *options)
            results[name] = replaying.state()["trace"]
        results[name]["log"] = replaying.log()
    state, calls = results["replay"], calls_in(trace)
    check(state["answered"] == calls and not state["diverged"],
          "the replay server says %s after %d calls" % (state, calls))
    same_transcripts(recorded, os.path.join(run.work, "replay"))

    line, call, expected = planted_divergence(trace, recorded)
    state = results["planted"]
    wanted = {"line": line, "call": call, "expected": expected,
              "actual": "GetHosePropertiesEx2(31)"}
    got = {k: state.get("divergence", {}).get(k) for k in wanted}
    check(got == wanted, "the planted replay's divergence: got %s, wanted %s" % (got, wanted))
    check("diverged: " + state["divergence"]["text"] in state["log"],
          "the server's log lacks the divergence")


def killed_host(run):
    recorded = run.folder("record", tracer=True)
    trace = os.path.join(recorded, "day.jsonl")
    host = subprocess.Popen(
        run.command(recorded, "trace_session.exe", *SESSION, "--pace", "100", "--steps", "400"),
        cwd=recorded, env=run.env(QXTRACE_FILE="day.jsonl"),
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        wait_for("60 lines of trace", lambda: os.path.exists(trace) and
                 open(trace, "rb").read().count(b"\n") >= 60, seconds=300)
    finally:
        host.kill()  # SIGKILL, to this PID only
        host.wait()
    check(not os.path.exists(os.path.join(recorded, "transcript.txt")), "the host finished")
    calls = calls_in(trace)
    with open(trace, "a") as f:
        f.write('{"t":1,"th":1,"op":"TestConn')  # a line torn by the kill
    replayed = run.folder("replay", tracer=False, trace=trace)
    said = run.session(replayed, "--steps", "400", **TRACE)
    wanted = "replay: answered %d calls, trace line" % calls
    check(wanted in said and "(call %d): expected the end of the trace, got " % (calls + 1) in said,
          "the replay of a killed host's trace said %r, wanted %r ... (call %d): expected the end"
          % (said, wanted, calls + 1))


CASES = {"in-process": in_process, "server": server, "killed-host": killed_host}


def main():
    args = arguments("bin server wine scenario work", CASES)
    args.scenario = os.path.abspath(args.scenario)
    try:
        CASES[args.case](Run(args))
    except (Failure, subprocess.TimeoutExpired) as e:
        print("FAILED:", e)
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
