#!/usr/bin/env python3
"""The real program, headless, after a real site failure: every kind of alert
channel gets its request at a loopback server of the test's own, which checks
method, path, headers and JSON as each service's documentation gives them.

Time runs 100 times faster under libfaketime. The site's page is on a refused
port, so the first pass finds it down. The ntfy service first answers 503:
the alert must be tried again and arrive, and the failure must be on
standard error ("Alert failed ..."). A reminder ("still down for") follows
while the site stays down. Gotify refuses the token (401): that alert is given up at once, and standard
error says so. The webhook answers 500 in the first run; the run
is ended (SIGTERM) with its alert in vantrel-outbox.json, and a second run,
with the webhook working, delivers it from there."""
import json
import os
import re
import shutil
import sys
import tempfile
import threading
import time

import fasttime
import fixture

DEADLINE = 60


class Service(fixture.Page):
    """Records every request; answers from the script of the path."""
    requests = []
    lock = threading.Lock()
    answers = {}  # path -> list of statuses, the last one repeats

    def handle_any(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        with Service.lock:
            Service.requests.append((self.command, self.path, dict(self.headers), body))
            script = Service.answers.get(self.path.split("/send/m.room.message/")[0], [200])
            status = script.pop(0) if len(script) > 1 else script[0]
        self.send_page(b'{"ok":true}', status)

    do_POST = handle_any
    do_PUT = handle_any


def check_shapes(requests, failures):
    """Each kind's request as its service documents it."""
    seen = {}
    for method, path, headers, body in requests:
        seen.setdefault(path.split("/send/")[0], (method, path, headers, body))

    def need(key, method, why):
        if key not in seen:
            failures.append("no request for %s" % why)
            return None
        m, path, headers, body = seen[key]
        if m != method:
            failures.append("%s: method %s" % (why, m))
        return path, headers, body

    r = need("/ntfy/alerts", "POST", "ntfy")
    if r:
        if r[1].get("Title") != "Vantrel: Shop is down" or r[1].get("Priority") != "high":
            failures.append("ntfy headers %r" % r[1])
        if r[1].get("Authorization") != "Bearer tk_ntfy":
            failures.append("ntfy token %r" % r[1].get("Authorization"))
        if not r[2].startswith(b"Vantrel: Shop is down\n"):
            failures.append("ntfy body %r" % r[2])
    r = need("/gotify/message", "POST", "gotify")
    if r:
        doc = json.loads(r[2])
        if r[1].get("X-Gotify-Key") != "AppTok" or doc.get("priority") != 8 or "Shop" not in doc["title"]:
            failures.append("gotify %r %r" % (r[1], doc))
    r = need("/_matrix/client/v3/rooms/%21room%3Aexample.org", "PUT", "matrix")
    if r:
        doc = json.loads(r[2])
        if r[1].get("Authorization") != "Bearer syt_m" or doc.get("msgtype") != "m.text":
            failures.append("matrix %r %r" % (r[1], doc))
    for key, member in (("/slack", "text"), ("/discord", "content")):
        r = need(key, "POST", key[1:])
        if r and not json.loads(r[2]).get(member, "").startswith("Vantrel: Shop is down"):
            failures.append("%s body %r" % (key, r[2]))
    r = need("/bot42:TG/sendMessage", "POST", "telegram")
    if r and json.loads(r[2]).get("chat_id") != "-100":
        failures.append("telegram body %r" % r[2])


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped():
        return 0
    server, base = fixture.serve(Service)
    Service.answers = {"/ntfy/alerts": [503, 200], "/hook": [500], "/gotify/message": [401]}
    work = tempfile.mkdtemp(prefix="vantrel-channels-")
    failures = []
    procs = []
    try:
        tokens = {1: "tk_ntfy", 2: "AppTok", 3: "syt_m", 4: base + "/slack", 6: "42:TG"}
        lines = ["CREATOR=Vantrel 1.0", "REMINDEVERY=5", "REMINDMAX=1",
                 "CHANNEL1=ntfy %s/ntfy/alerts" % base, "CHANNEL2=gotify %s/gotify" % base,
                 "CHANNEL3=matrix %s/!room:example.org" % base, "CHANNEL4=slack team",
                 "CHANNEL5=discord %s/discord" % base, "CHANNEL6=telegram %s/-100" % base,
                 "CHANNEL7=webhook %s/hook" % base,
                 'CHANNEL7TEMPLATE={"site":"{title}","state":"{state}","since":"{downsince}"}']
        for n, token in tokens.items():
            path = os.path.join(work, "token%d" % n)
            with open(path, "w") as f:
                f.write(token + "\n")
            os.chmod(path, 0o600)
            lines.append("CHANNEL%dTOKENFILE=%s" % (n, path))
        with open(os.path.join(work, "vantrel-extra.ini"), "wb") as f:
            f.write(("\r\n".join(lines) + "\r\n\r\n").encode())
        fixture.write_folder(work, fixture.settings(),
                             [fixture.site("Shop", "http://127.0.0.1:%d/" % fasttime.free_port(), "")])
        proc = fasttime.start_headless([exe], work, 100)
        procs.append(proc)

        def ntfy_bodies():
            with Service.lock:
                return [b for m, p, h, b in Service.requests if p == "/ntfy/alerts"]

        start = time.time()
        while time.time() - start < DEADLINE and proc.poll() is None:
            if any(b"still down for" in b for b in ntfy_bodies()) and \
                    os.path.exists(os.path.join(work, "vantrel-outbox.json")):
                break
            time.sleep(0.2)
        bodies = ntfy_bodies()
        if len([b for b in bodies if b.startswith(b"Vantrel: Shop is down")]) != 2:
            failures.append("ntfy: the down alert was not tried twice (503, then 200): %d" % len(bodies))
        if not any(b.startswith(b"Vantrel: Shop still down for ") for b in bodies):
            failures.append("no reminder")
        with Service.lock:
            check_shapes(list(Service.requests), failures)
        fasttime.terminate(proc, failures)
        text = fasttime.output(work)
        # A 5xx is tried again; a wrong token (401) is given up at once.
        for kind, answer, outcome in (("ntfy", "HTTP 503", "tried again later"),
                                      ("gotify", "HTTP 401", "given up")):
            if not re.search(r"^Alert failed \d\d:\d\d: %s \S+ \(Shop\): %s.*, %s$" % (kind, answer, outcome),
                             text, re.M):
                failures.append("no line for %s's %s on standard error" % (kind, answer))
        try:
            kept = json.load(open(os.path.join(work, "vantrel-outbox.json")))["alerts"]
        except (OSError, ValueError, KeyError) as e:
            kept = []
            failures.append("no outbox after the first run: %s" % e)
        if not [a for a in kept if a["channel"].endswith("/hook")]:
            failures.append("the webhook's alert is not in the outbox: %r" % kept)

        # The second run: the webhook works now; the alert kept goes out.
        with Service.lock:
            Service.answers["/hook"] = [200]
            Service.requests.clear()
        proc = fasttime.start_headless([exe], work, 100)
        procs.append(proc)
        start = time.time()
        hooks = []
        # The first run kept the down alert (due at its next try, minutes of
        # fake time away) and a reminder.
        while time.time() - start < DEADLINE and proc.poll() is None and \
                not [d for d in hooks if d.get("state") == "down"]:
            with Service.lock:
                hooks = [json.loads(b) for m, p, h, b in Service.requests if p == "/hook"]
            time.sleep(0.2)
        downs = [d for d in hooks if d.get("state") == "down"]
        if len(downs) != 1:
            failures.append("the kept down alert did not go out once after the restart: %r" % hooks)
        elif downs[0].get("site") != "Shop" or not downs[0].get("since"):
            failures.append("webhook body %r" % downs[0])
        fasttime.terminate(proc, failures)
        return fasttime.verdict(failures, "program output:\n" + fasttime.output(work))
    finally:
        for p in procs:
            fasttime.kill(p)
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
