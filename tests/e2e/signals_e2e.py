#!/usr/bin/env python3
"""SIGTERM, SIGINT and SIGHUP end the real program the normal way: the site
list is saved on the way out and the exit status is 0."""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SITE = ("CREATOR=Vantrel 1.0\r\nST=Kept\r\nURL=http://127.0.0.1:1/\r\nTESTSTRING=\r\nCREATE=01 Dec 2026\r\n"
        "CHECK=\r\nURLEMAIL=\r\nACTION=Sound\r\nSTATUS=New\r\n")


def one(exe, sig):
    work = tempfile.mkdtemp(prefix="vantrel-sig-")
    try:
        with open(os.path.join(work, "vantrel.dat"), "w", newline="") as f:
            f.write(SITE)
        with open(os.path.join(work, "vantrel.ini"), "w", newline="") as f:
            f.write("MONITOR=no\r\n")
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        proc = subprocess.Popen([exe], cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        ini = os.path.join(work, "vantrel.ini")
        deadline = time.time() + 20
        # Start-up is over once the settings file has been rewritten.
        while time.time() < deadline and "TOOLTIPS=yes" not in open(ini, newline="").read():
            time.sleep(0.05)
        time.sleep(0.2)
        os.unlink(os.path.join(work, "vantrel.dat"))
        proc.send_signal(sig)
        try:
            out = proc.communicate(timeout=20)[0].decode("latin-1")
        except subprocess.TimeoutExpired:
            proc.kill()
            return "%s: still running" % sig.name
        dat = os.path.join(work, "vantrel.dat")
        saved = open(dat, newline="").read() if os.path.exists(dat) else None
        if proc.returncode != 0 or saved != SITE:
            return "%s: exit %d, saved %r\n%s" % (sig.name, proc.returncode, saved, out)
        return None
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    exe = os.path.abspath(sys.argv[1])
    failures = [f for f in (one(exe, s) for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP)) if f]
    for f in failures:
        print(f)
    print("%d passed, %d failed" % (3 - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
