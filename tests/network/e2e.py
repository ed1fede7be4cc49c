"""The real driver, through our QXClient.dll's network mode, against the native qxsim-server:
korvan-host consoles under Wine. Each case checks the ledger at the end: every delivery stored
by the hosts once and cleared exactly once, none waiting."""
import collections
import random
import sys
from pathlib import Path

from harness import Host, arguments, check, station, wait_for

HOSES = (31, 32, 41, 42)
CODES = [1, 2, 3, 4, 5, 6]


def ledger(server, stored):
    state = server.state()
    cleared = collections.Counter(d["id"] for d in state["cleared"])
    for what, got, wanted in (
            ("stored", sorted(stored), CODES), ("waiting", [d["id"] for d in state["waiting"]], []),
            ("cleared twice", [i for i, n in cleared.items() if n > 1], []),
            ("cleared", state["clearedCount"], len(CODES))):
        check(got == wanted, "%s: got %s, wanted %s" % (what, got, wanted))


def session(server, folder, wine):
    host = Host(wine, folder, HOSES)
    for command, wanted in (("status", ["FF"]), ("preco 31", ["5,799", "5.799"]),
                            ("autoriza 31", ["ok"]), ("status", ["PF"])):
        got = host.status() if command == "status" else host.do(command)
        check(got in wanted, "%s: got %r, wanted one of %r" % (command, got, wanted))
    confirmed = host.drain([])
    host.do("finaliza")
    host.quit()
    ledger(server, confirmed)


def reconnect(server, folder, wine):
    host = Host(wine, folder, HOSES)
    first = host.poll()
    check(first is not None, "nothing handed over")
    # The link goes down while a poll waits for the controller's answer.
    server.act(action="hold", op="GetDeliveryPropertiesEx2")
    host.send("poll")
    wait_for("the poll to be held", server.held)
    logged_on = [c["id"] for c in server.state()["clients"] if c["loggedOn"]]
    server.act(action="drop", client=logged_on[0] if logged_on else None)
    check(host.answer().startswith("0:"), "a poll over a dropped link handed over")
    check(host.poll() is None, "a poll while the link is held down handed over")
    server.act(action="restore", clientId=97)
    again = host.poll()
    check(again == first, "after reconnecting got %s, wanted %s again" % (again, first))
    logons = server.log().count("logged on as client id 97")
    check(logons >= 2, "the driver did not log on again (%d logons)" % logons)
    check(host.do("confirm") == "ok", "confirmation after reconnecting")
    confirmed = host.drain([again])
    host.quit()
    ledger(server, confirmed)


def two_hosts(server, folder, wine):
    hosts = [Host(wine, folder, HOSES), Host(wine, folder, HOSES)]
    rng, handed, confirmed, idle = random.Random(7), 0, [], 0
    while idle < 4:
        h = rng.choice(hosts)
        code = h.poll()
        idle = idle + 1 if code is None else 0
        if code is None:
            continue
        handed += 1
        if rng.random() < 0.5:  # the other host looks at the list meanwhile
            handed += hosts[1 - hosts.index(h)].poll() is not None
        if h.do("confirm") == "ok":
            confirmed.append(code)
    for h in hosts:
        h.quit()
    print("handed over %d times for %d deliveries" % (handed, len(CODES)))
    ledger(server, confirmed)


# Points of a poll-confirm cycle at which a host can die, how to reach them (the panel holds
# the named call, carried out first or not), and whether the delivery is cleared by then.
POINTS = [
    ("after the hand-over", None, None, False),
    ("after LockDelivery, before ClearDelivery", "ClearDelivery", False, False),
    ("after ClearDelivery, before its answer", "ClearDelivery", True, True),
    ("after the confirmation", "confirmed", None, True),
]


def crash(server, folder, wine):
    confirmed = []
    for what, op, after, cleared in POINTS:
        print("death", what)
        host = Host(wine, folder, HOSES)
        code = host.poll()
        check(code is not None, "nothing handed over before the death " + what)
        if op == "confirmed":
            check(host.do("confirm") == "ok", "confirmation")
        elif op:
            server.act(action="hold", op=op, after=after)
            host.send("confirm")
            wait_for("the confirmation to be held", server.held)
        before = len(server.state()["cleared"])
        host.kill()
        wait_for("the server to see the host gone", lambda: not server.state()["clients"])
        state = server.state()
        locked = [d["id"] for d in state["waiting"] if d["lockedBy"] != -1]
        check(not locked, "locks of the dead host remain: %s" % locked)
        cleared_now = len(state["cleared"]) - before
        check(cleared_now == 0, "the death cleared %d deliveries" % cleared_now)
        # The next host: the delivery comes again unless it was cleared.
        host = Host(wine, folder, HOSES)
        again = host.poll()
        if cleared:  # and stored by the host before it died
            check(again != code, "a cleared delivery (%d) was handed over again" % code)
            confirmed.append(code)
        else:
            check(again == code, "got %s after the death, wanted %d again" % (again, code))
        if again is not None:
            check(host.do("confirm") == "ok", "confirmation after restart")
            confirmed.append(again)
        host.quit()
    host = Host(wine, folder, HOSES)
    host.drain(confirmed)
    host.quit()
    ledger(server, confirmed)


def no_server(server, folder, wine):
    # The server goes; the host's ports now lead nowhere.
    server.stop()
    host = Host(wine, folder)
    host.do("log on")
    answer = host.do("inicia")
    check(answer.startswith("0:"), "a logon without a server answered %r" % answer)
    check(host.status().startswith("0:"), "status without a server")
    check(host.poll() is None, "a poll without a server handed over")
    host.quit()
    text = "".join(log.read_text(encoding="cp1252") for log in Path(folder, "LOG").iterdir())
    check("Error: 13" in text, "the driver's log lacks the logon's code 13")


CASES = {"no-server": no_server, "session": session, "reconnect": reconnect,
         "two-hosts": two_hosts, "crash": crash}


if __name__ == "__main__":
    a = arguments("server bin wine work", CASES)
    sys.exit(station(a, a.case, lambda server, folder: CASES[a.case](server, folder, a.wine)))
