#!/usr/bin/env python3
"""The real program with no display: it picks Qt's offscreen platform itself,
and every message box it raises is written to standard error with its caption
and text and answered at once, so nothing waits for a click that cannot come.

The settings file is read-only (the start-up save fails), the log file lies in
a folder that does not exist and the one site's page and error URL are on a
refused loopback port, so one pass raises the other two boxes. Time runs 100
times faster under libfaketime, so the first pass comes within seconds. The
program must then still end on SIGTERM, with the settings file untouched.
With --memcheck the program runs under valgrind memcheck, and any leak or
memory error in our own code fails the test."""
import os
import shutil
import stat
import sys
import tempfile
import time

import fasttime
import fixture
import memcheck

DEADLINE = 90  # seconds of real time for the boxes to show up
BOXES = [
    "Error Writing File: Save to File\n",
    "Error Log: Could not write to log file\n",
    "Error: Unable to load URL\r\nPlease check URL and update your listing.\n",
]


def main():
    exe = os.path.abspath(sys.argv[1])
    under_memcheck = memcheck.requested()
    slowdown = memcheck.SLOWDOWN if under_memcheck else 1
    if fasttime.skipped():
        return 0

    work = tempfile.mkdtemp(prefix="vantrel-headless-")
    proc = None
    try:
        settings = fixture.settings(LOGFILE="no-such-folder/checks.log")
        refused = "http://127.0.0.1:%d" % fasttime.free_port()
        fixture.write_folder(work, settings, [fixture.site("Refused", refused + "/", "", "URL", error_url=refused + "/hook")])
        ini = os.path.join(work, "vantrel.ini")
        os.chmod(ini, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)

        report = os.path.join(work, "memcheck.xml")
        proc = fasttime.start_headless(memcheck.wrap([exe], report) if under_memcheck else [exe], work, 100)
        start = time.time()
        while time.time() - start < DEADLINE * slowdown and proc.poll() is None:
            if all(box in fasttime.output(work) for box in BOXES):
                break
            time.sleep(0.2)

        failures = []
        if proc.poll() is not None:
            failures.append("the program ended by itself with status %d" % proc.returncode)
        fasttime.terminate(proc, failures, 30 * slowdown)
        text = fasttime.output(work)
        for box in BOXES:
            if box not in text:
                failures.append("no line %r on standard error" % box)
        if open(ini, "rb").read() != settings:
            failures.append("the read-only settings file was changed")
        if under_memcheck:
            failures.extend(memcheck.check(report))
        return fasttime.verdict(failures, "program output:\n" + text)
    finally:
        fasttime.kill(proc)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
