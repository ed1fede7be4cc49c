"""The real driver, through our QXClient.dll's network mode, against the
native qxsim-server: korvan-host consoles under Wine.

  e2e.py CASE --server PATH --bin DIR --wine PATH --work DIR

Cases: no-server, session, reconnect, two-hosts, crash. Each checks the ledger at the
end: every delivery cleared exactly once, none waiting."""
import argparse
import collections
import os
import random
import shutil
import sys

from harness import Failure, Host, Server, check, host_folder, wait_for

HOSES = (31, 32, 41, 42)
CODES = {1, 2, 3, 4, 5, 6}


def ledger(server):
    state = server.state()
    waiting = [d["id"] for d in state["waiting"]]
    cleared = collections.Counter(d["id"] for d in state["cleared"])
    check(not waiting, "deliveries still waiting: %s" % waiting)
    doubled = [i for i, n in cleared.items() if n > 1]
    check(not doubled, "cleared more than once: %s" % doubled)
    check(state["clearedCount"] == len(CODES),
          "cleared %d deliveries, wanted %d" % (state["clearedCount"], len(CODES)))


def drain(host, confirmed):
    """Polls and confirms until nothing is handed over; records each code
    confirmed."""
    while True:
        code = host.poll()
        if code is None:
            return
        check(host.do("confirm") == "ok", "confirmation of %d refused" % code)
        confirmed.append(code)


def session(server, folder, wine):
    host = Host(wine, folder)
    host.start(HOSES)
    status = host.status()
    check(status == "FF", "status after logon: got %r, wanted 'FF'" % status)
    price = host.do("preco 31")
    check(price in ("5,799", "5.799"), "price of hose 31: got %r" % price)
    check(host.do("autoriza 31") == "ok", "authorise")
    status = host.status()
    check(status == "PF", "status after authorising pump 1: got %r, wanted 'PF'" % status)
    confirmed = []
    drain(host, confirmed)
    check(sorted(confirmed) == sorted(CODES), "confirmed %s, wanted %s" % (confirmed, CODES))
    host.do("finaliza")
    host.quit()
    ledger(server)


def client_of(server, logged_on=True):
    clients = [c for c in server.state()["clients"] if c["loggedOn"] == logged_on]
    return clients[0]["id"] if clients else None


def reconnect(server, folder, wine):
    host = Host(wine, folder)
    host.start(HOSES)
    first = host.poll()
    check(first is not None, "nothing handed over")
    # The link goes down while a poll waits for the controller's answer.
    server.act(action="hold", op="GetDeliveryPropertiesEx2")
    host.send("poll")
    wait_for("the poll to be held",
             lambda: any(c["held"] for c in server.state()["clients"]))
    server.act(action="drop", client=client_of(server))
    check(host._answer(60).startswith("0:"), "a poll over a dropped link handed over")
    check(host.poll() is None, "a poll while the link is held down handed over")
    server.act(action="restore", clientId=97)
    again = host.poll()
    check(again == first, "after reconnecting got %s, wanted %s again" % (again, first))
    logons = open(server.log_path).read().count("logged on as client id 97")
    check(logons >= 2, "the driver did not log on again (%d logons)" % logons)
    confirmed = []
    check(host.do("confirm") == "ok", "confirmation after reconnecting")
    confirmed.append(again)
    drain(host, confirmed)
    check(sorted(confirmed) == sorted(CODES), "confirmed %s" % confirmed)
    host.quit()
    ledger(server)


def two_hosts(server, folder, wine):
    hosts = [Host(wine, folder), Host(wine, folder)]
    for h in hosts:
        h.start(HOSES)
    rng = random.Random(7)
    handed = collections.Counter()
    confirmed = []
    idle = 0
    while idle < 4:
        h = rng.choice(hosts)
        code = h.poll()
        if code is None:
            idle += 1
            continue
        idle = 0
        handed[code] += 1
        other = hosts[1 - hosts.index(h)]
        if rng.random() < 0.5:  # the other host looks at the list meanwhile
            seen = other.poll()
            if seen is not None:
                handed[seen] += 1
        if h.do("confirm") == "ok":
            confirmed.append(code)
    for h in hosts:
        h.quit()
    doubled = [c for c, n in collections.Counter(confirmed).items() if n > 1]
    check(not doubled, "confirmed by both hosts: %s" % doubled)
    check(sorted(confirmed) == sorted(CODES), "confirmed %s, wanted %s" % (confirmed, CODES))
    print("handed over %d times for %d deliveries" % (sum(handed.values()), len(CODES)))
    ledger(server)


# Points of a poll-confirm cycle at which a host can die, and how to reach
# them: the panel holds the named call (carried out first or not).
POINTS = [
    ("after the hand-over", None, None),
    ("after LockDelivery, before ClearDelivery", "ClearDelivery", False),
    ("after ClearDelivery, before its answer", "ClearDelivery", True),
    ("after the confirmation", "confirmed", None),
]


def crash(server, folder, wine):
    confirmed = []
    for what, op, after in POINTS:
        print("death", what)
        host = Host(wine, folder)
        host.start(HOSES)
        code = host.poll()
        check(code is not None, "nothing handed over before the death " + what)
        if op == "confirmed":
            check(host.do("confirm") == "ok", "confirmation")
            confirmed.append(code)
        elif op:
            server.act(action="hold", op=op, after=after)
            host.send("confirm")
            wait_for("the confirmation to be held",
                     lambda: any(c["held"] for c in server.state()["clients"]))
        before = len(server.state()["cleared"])
        host.kill()
        wait_for("the server to see the host gone", lambda: not server.state()["clients"])
        state = server.state()
        locked = [d["id"] for d in state["waiting"] if d["lockedBy"] != -1]
        check(not locked, "locks of the dead host remain: %s" % locked)
        cleared_now = len(state["cleared"]) - before
        check(cleared_now == 0, "the death cleared %d deliveries" % cleared_now)
        # The next host: the delivery comes again unless it was cleared.
        host = Host(wine, folder)
        host.start(HOSES)
        again = host.poll()
        was_cleared = op == "confirmed" or after is True
        if was_cleared:
            check(again != code, "a cleared delivery (%d) was handed over again" % code)
            if op != "confirmed":
                confirmed.append(code)  # stored by the host before it died
        else:
            check(again == code, "got %s after the death, wanted %d again" % (again, code))
        if again is not None:
            check(host.do("confirm") == "ok", "confirmation after restart")
            confirmed.append(again)
        host.quit()
    host = Host(wine, folder)
    host.start(HOSES)
    drain(host, confirmed)
    host.quit()
    doubled = [c for c, n in collections.Counter(confirmed).items() if n > 1]
    check(not doubled, "stored twice: %s" % doubled)
    check(sorted(confirmed) == sorted(CODES), "stored %s, wanted %s" % (confirmed, CODES))
    ledger(server)


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
    logs = os.path.join(folder, "LOG")
    text = "".join(open(os.path.join(logs, f), encoding="cp1252").read()
                   for f in os.listdir(logs))
    check("Error: 13" in text, "the driver's log lacks the logon's code 13")


CASES = {"no-server": no_server, "session": session, "reconnect": reconnect, "two-hosts": two_hosts, "crash": crash}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("case", choices=sorted(CASES))
    p.add_argument("--server", required=True)
    p.add_argument("--bin", required=True)
    p.add_argument("--wine", required=True)
    p.add_argument("--work", required=True)
    a = p.parse_args()
    if not os.path.exists(a.server):
        print("no native qxsim-server at %s: build the native preset first" % a.server)
        return 1
    work = os.path.join(a.work, a.case)
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    scenario = os.path.join(os.path.dirname(os.path.abspath(__file__)), "station.scenario")
    server = Server(a.server, scenario, work)
    try:
        CASES[a.case](server, host_folder(a.bin, work, server), a.wine)
    except Failure as failure:
        print("FAILED:", failure)
        print("server log:", server.log_path)
        return 1
    finally:
        server.stop()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
