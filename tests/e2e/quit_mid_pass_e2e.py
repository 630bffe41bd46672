#!/usr/bin/env python3
"""SIGTERM while a check pass waits on a site that never answers: the pass
stops at once (the hanging download is cancelled, the sites after it are not
judged, logged or announced, though their pages may have been fetched ahead
with the hanging one), and only then the program ends the normal way, with every result
reached so far in the saved list and the log, and exit status 0.

Three sites on a loopback server, checked top row first: "First" answers with
its test string, "Hang" accepts the request and never answers, "Third" answers
but must keep its row as it was. Time runs 10 times faster under libfaketime so
the first pass comes after 30 seconds; the hanging site's own stall limit then
still lies 3 seconds away, longer than the program may take to end. The test
also reads the processor time the program used after the signal: a program
that spins while it waits uses nearly all of the time it takes."""
import os
import re
import shutil
import signal
import sys
import tempfile
import threading
import time

import fasttime
import fixture

DEADLINE = 90       # seconds of real time until the hanging request arrives
EXIT_LIMIT = 10     # seconds of real time from the signal to the exit
CPU_LIMIT = 1.0     # seconds of processor time from the signal to the exit
STAMP = r"\d\d [A-Z][a-z][a-z] \d{4} \d\d:\d\d:\d\d"


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line, in clock ticks.
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped():
        return 0

    requests = []
    hanging = threading.Event()
    release = threading.Event()

    class Pages(fixture.WelcomePage):
        def do_GET(self):
            requests.append(self.path)
            if self.path == "/hang":
                hanging.set()
                release.wait(60)  # never answers while the program runs
                return
            super().do_GET()

    httpd, web = fixture.serve(Pages)

    work = tempfile.mkdtemp(prefix="vantrel-quit-")
    proc = None
    try:
        fixture.write_folder(work, fixture.settings(NOTIFY="On Change", EVERYERROR="no"), [  # bottom row first
            fixture.site("Third", web + "/third", status="New"),
            fixture.site("Hang", web + "/hang"),
            fixture.site("First", web + "/first", status="New"),
        ], "\r\n")
        proc = fasttime.start_headless([exe], work, 10, {"QT_QPA_PLATFORM": "offscreen"})
        if not hanging.wait(DEADLINE):
            return fasttime.verdict(["the hanging site was never asked; requests %r" % requests], "")
        time.sleep(0.3)  # the download is now waiting for an answer that does not come
        cpu_before = cpu_seconds(proc.pid)
        signalled = time.monotonic()
        proc.send_signal(signal.SIGTERM)
        status = None
        while time.monotonic() - signalled < EXIT_LIMIT * 3:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid:
                break
            time.sleep(0.02)
        else:
            return fasttime.verdict(["the program did not end after SIGTERM"], "")
        elapsed = time.monotonic() - signalled
        cpu_after = usage.ru_utime + usage.ru_stime - cpu_before
        proc.returncode = os.waitstatus_to_exitcode(status)
        out = fasttime.output(work)

        failures = []
        if proc.returncode != 0:
            failures.append("exit status %d" % proc.returncode)
        if elapsed > EXIT_LIMIT:
            failures.append("ended %.1f s after the signal" % elapsed)
        if cpu_after > CPU_LIMIT:
            failures.append("used %.2f s of processor time in the %.1f s after the signal" % (cpu_after, elapsed))
        dat = open(os.path.join(work, "vantrel.dat"), "rb").read().decode("latin-1")
        titles = re.findall(r"ST=(.*)\r\n", dat)
        statuses = re.findall(r"STATUS=(.*)\r\n", dat)
        checks = re.findall(r"CHECK=(.*)\r\n", dat)
        if titles != ["Third", "Hang", "First"] or statuses != ["New", "OK", "OK"]:
            failures.append("saved sites %r with statuses %r" % (titles, statuses))
        if len(checks) != 3 or checks[:2] != ["", ""] or not re.match(STAMP + "$", checks[2]):
            failures.append("saved check dates %r" % checks)
        log = os.path.join(work, "vantrel.log")
        logtext = open(log, "rb").read().decode("latin-1") if os.path.exists(log) else ""
        if not re.fullmatch(r"\r\n%s %s OK" % (STAMP, re.escape(web + "/first")), logtext):
            failures.append("log %r" % logtext)
        print("SIGTERM to exit: %.2f s, processor time after the signal: %.3f s" % (elapsed, cpu_after))
        return fasttime.verdict(failures, "program output:\n" + out)
    finally:
        release.set()
        if proc and proc.returncode is None and proc.poll() is None:
            proc.kill()
            proc.wait()
        httpd.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
