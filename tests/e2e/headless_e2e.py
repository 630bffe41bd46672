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
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import time

import fasttime

import memcheck

DEADLINE = 90  # seconds of real time for the boxes to show up
BOXES = [
    "Error Writing File: Save to File\n",
    "Error Log: Could not write to log file\n",
    "Error: Unable to load URL\r\nPlease check URL and update your listing.\n",
]


def refused_url(path):
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return "http://127.0.0.1:%d%s" % (s.getsockname()[1], path)


def main():
    exe = os.path.abspath(sys.argv[1])
    under_memcheck = memcheck.requested()
    slowdown = memcheck.SLOWDOWN if under_memcheck else 1
    faketime = fasttime.LIBRARY
    if not faketime:
        print("SKIP: faketime is not installed")
        return 0

    work = tempfile.mkdtemp(prefix="vantrel-headless-")
    proc = None
    try:
        settings = ("CREATOR=Vantrel 1.0\r\nYOURNAME=\r\nYOUREMAIL=\r\nEMAIL1=\r\nEMAIL2=\r\n"
                    "LOGFILE=no-such-folder/checks.log\r\nERRORSOUND=\r\nNOTIFY=\r\nINTERVAL=5\r\nSMTPSERVER=\r\n"
                    "TOOLTIPS=yes\r\nMONITOR=yes\r\nEVERYERROR=\r\n\r\n").encode()
        ini = os.path.join(work, "vantrel.ini")
        with open(ini, "wb") as f:
            f.write(settings)
        os.chmod(ini, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        with open(os.path.join(work, "vantrel.dat"), "wb") as f:
            f.write(("CREATOR=Vantrel 1.0\r\nST=Refused\r\nURL=%s\r\nTESTSTRING=\r\nCREATE=01 Dec 2026\r\n"
                     "CHECK=\r\nURLEMAIL=%s\r\nACTION=URL\r\nSTATUS=OK\r\n"
                     % (refused_url("/"), refused_url("/hook"))).encode())

        env = fasttime.environment(os.environ, 100)
        # In a sanitizer build the preloaded library comes before the sanitizer's runtime.
        env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0").lstrip(":")
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        output = os.path.join(work, "output.txt")
        with open(output, "wb") as out:
            report = os.path.join(work, "memcheck.xml")
            command = memcheck.wrap([exe], report) if under_memcheck else [exe]
            proc = subprocess.Popen(command, cwd=work, env=env, stdout=out, stderr=subprocess.STDOUT)
        text = ""
        start = time.time()
        while time.time() - start < DEADLINE * slowdown and proc.poll() is None:
            text = open(output, "rb").read().decode("latin-1")
            if all(box in text for box in BOXES):
                break
            time.sleep(0.2)

        failures = []
        if proc.poll() is not None:
            failures.append("the program ended by itself with status %d" % proc.returncode)
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=30 * slowdown)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            failures.append("the program did not end after SIGTERM")
        text = open(output, "rb").read().decode("latin-1")
        for box in BOXES:
            if box not in text:
                failures.append("no line %r on standard error" % box)
        if proc.returncode != 0:
            failures.append("exit status %d" % proc.returncode)
        if open(ini, "rb").read() != settings:
            failures.append("the read-only settings file was changed")
        if under_memcheck:
            failures.extend(memcheck.check(report))
        if failures:
            print("\n".join(failures) + "\nprogram output:\n" + text)
            print("0 passed, 1 failed")
            return 1
        print("1 passed, 0 failed")
        return 0
    finally:
        if proc and proc.poll() is None:
            proc.kill()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
