"""The Windows qxsim-server.exe under Wine serves its panel: the page, the state as JSON, an
action that changes it, and the state pushed as events; then it stops by itself (--stop-after)
with exit code 0."""
import json
import subprocess
import sys
import tempfile

from harness import Failure, Server, Stream, arguments, check, http, post

NEW_PRICE = 6.123


def price_of_31(state):
    return {h["id"]: h["price"] for p in state["pumps"] for h in p["hoses"]}.get(31)


def same(what, got, wanted):
    check(got == wanted, "%s: got %r, wanted %r" % (what, got, wanted))


def check_panel(s):
    """Checks every route; returns the event stream, still open."""
    check(s.panel, "the server started without a panel")
    status, head, page = http(s.panel, path="/")
    same("GET /: status, type, names /panel.js",
         (status, head.get("content-type", "")[:9], b"/panel.js" in page), (200, "text/html", True))
    status, head, body = http(s.panel)
    same("GET /api/state", (status, head.get("content-type")), (200, "application/json"))
    state = json.loads(body)
    same("pumps", sorted(p["name"] for p in state["pumps"]), ["Bomba 1", "Bomba 2"])
    same("price of hose 31", price_of_31(state), 5.799)
    stream = Stream(s.panel, timeout=30)
    same("GET /api/events: type", stream.headers.get("content-type", "")[:17], "text/event-stream")
    same("first state event: hose 31", price_of_31(stream.event("state")), 5.799)
    status, _, body = post(s.panel, {"action": "price", "hose": 31, "price": NEW_PRICE}, timeout=30)
    same("price action", (status, json.loads(body).get("ok")), (200, True))
    same("price of hose 31 after the action", price_of_31(s.state()), NEW_PRICE)
    same("state event after the action: hose 31", price_of_31(stream.event("state")), NEW_PRICE)
    return stream


def main():
    a = arguments("server wine scenario stop-after")
    with tempfile.TemporaryDirectory() as work:
        try:
            with Server(a.server, a.scenario, work, wine=a.wine, stop_after=a.stop_after) as server:
                stream = check_panel(server)
                # With an event stream still open, the server stops by itself.
                rc = server.process.wait(float(a.stop_after) + 60)
                stream.close()
                log = server.log()
                check(rc == 0 and "stopping: its time is up" in log,
                      "stop: got exit code %d and log %r, wanted 0 and its time is up" % (rc, log))
        except (Failure, OSError, ValueError, KeyError, subprocess.TimeoutExpired) as e:
            print("FAIL:", e)
            return 1
    print("windows panel: page, state, action and events served; stopped cleanly")
    return 0


if __name__ == "__main__":
    sys.exit(main())
