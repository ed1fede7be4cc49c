"""The Windows qxsim-server.exe under Wine serves its panel: the page, the
state as JSON, an action that changes it, and the state pushed as events;
then it stops by itself (--stop-after) with exit code 0.

  windows_panel.py --server EXE --wine PATH --scenario FILE --stop-after S"""
import argparse
import json
import subprocess
import sys
import urllib.request

from harness import Failure, check

NEW_PRICE = 6.123


def get(url):
    with urllib.request.urlopen(url, timeout=30) as r:
        return r.status, r.headers.get("Content-Type", ""), r.read().decode()


def hose_prices(state):
    return {h["id"]: h["price"] for p in state["pumps"] for h in p["hoses"]}


def next_state(stream, lines=40):
    """The data of the next `state` event; pings and log events are skipped."""
    event = None
    for _ in range(lines):
        line = stream.readline().decode()
        check(line, "the event stream ended")
        if line.startswith("event: "):
            event = line[7:].strip()
        elif line.startswith("data: ") and event == "state":
            return json.loads(line[6:])
    raise Failure("no state event within %d lines" % lines)


def check_panel(url):
    """Checks every route; returns the event stream, still open."""
    status, kind, page = get(url + "/")
    check(status == 200 and kind.startswith("text/html") and "/panel.js" in page,
          "GET /: got %d %r, wanted 200 text/html naming /panel.js" % (status, kind))

    status, kind, body = get(url + "/api/state")
    check(status == 200 and kind == "application/json",
          "GET /api/state: got %d %r, wanted 200 application/json" % (status, kind))
    state = json.loads(body)
    names = sorted(p["name"] for p in state["pumps"])
    check(names == ["Bomba 1", "Bomba 2"], "pumps: got %s, wanted Bomba 1 and 2" % names)
    check(hose_prices(state).get(31) == 5.799,
          "price of hose 31: got %s, wanted 5.799" % hose_prices(state).get(31))

    stream = urllib.request.urlopen(url + "/api/events", timeout=30)
    check(stream.headers.get("Content-Type", "").startswith("text/event-stream"),
          "GET /api/events: got %r, wanted text/event-stream"
          % stream.headers.get("Content-Type"))
    first = hose_prices(next_state(stream)).get(31)
    check(first == 5.799, "first state event: hose 31 at %s, wanted 5.799" % first)

    action = json.dumps({"action": "price", "hose": 31, "price": NEW_PRICE}).encode()
    request = urllib.request.Request(url + "/api/action", data=action, method="POST",
                                     headers={"Content-Type": "application/json"})
    with urllib.request.urlopen(request, timeout=30) as r:
        answer = json.load(r)
    check(answer.get("ok") is True, "price action: got %s, wanted ok" % answer)

    now = hose_prices(json.loads(get(url + "/api/state")[2])).get(31)
    check(now == NEW_PRICE, "price of hose 31 after the action: got %s, wanted %s"
          % (now, NEW_PRICE))
    pushed = hose_prices(next_state(stream)).get(31)
    check(pushed == NEW_PRICE, "state event after the action: hose 31 at %s, wanted %s"
          % (pushed, NEW_PRICE))
    return stream


def main():
    parser = argparse.ArgumentParser()
    for option in ("--server", "--wine", "--scenario", "--stop-after"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    server = subprocess.Popen(
        [args.wine, args.server, "--call-port", "0", "--event-port", "0",
         "--panel-port", "0", "--scenario", args.scenario,
         "--stop-after", args.stop_after],
        stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
        text=True)
    try:
        line = server.stdout.readline()
        ports = dict(item.split("=") for item in line.split()[1:])
        check(line.startswith("listening") and ports.get("panel", "0") != "0",
              "the server started without a panel: %r" % line)
        stream = check_panel("http://127.0.0.1:%s" % ports["panel"])
        # With an event stream still open, the server stops by itself.
        rc = server.wait(float(args.stop_after) + 60)
        stream.close()
        log = server.stderr.read()
        check(rc == 0 and "stopping: its time is up" in log,
              "stop: got exit code %d and log %r, wanted 0 and its time is up" % (rc, log))
    except (Failure, OSError, ValueError, KeyError, subprocess.TimeoutExpired) as e:
        print("FAIL:", e)
        return 1
    finally:
        if server.poll() is None:
            server.kill()
            server.wait()
    print("windows panel: page, state, action and events served; stopped cleanly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
