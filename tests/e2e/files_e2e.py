#!/usr/bin/env python3
"""The real program, headless, with the data files people really have: lists
kept in another folder through symbolic links or a hard link, a folder that
takes no new files, files it cannot read, FIFOs in place of both files, and a
list that cannot be saved at the end. Each run starts the program, waits
until start-up is over, ends it with SIGTERM and looks at the files, the
standard error and the exit status (3 when the list could not be saved)."""
import os
import re
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

BOUND = 20  # seconds for start-up and for the end after SIGTERM
SITE_LF = ("CREATOR=Vantrel 1.0\nST=Kept\nURL=http://127.0.0.1:1/\nTESTSTRING=\nCREATE=01 Dec 2026\n"
           "CHECK=\nURLEMAIL=\nACTION=Sound\nSTATUS=New\n").encode()
SITE = SITE_LF.replace(b"\n", b"\r\n")
SETTINGS = b"MONITOR=no\r\n"
SAVE_FAILED = "Error Writing File: Save to File\n"


def write(path, data, mode=None):
    with open(path, "wb") as f:
        f.write(data)
    if mode is not None:
        os.chmod(path, mode)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def run(exe, work, started):
    """Runs the program in `work` until `started(output)` holds, then sends
    SIGTERM. Returns (exit status or None when it hung, output)."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    out_path = os.path.join(tempfile.gettempdir(), "vantrel-files-%d.txt" % os.getpid())
    with open(out_path, "wb") as out:
        proc = subprocess.Popen([exe], cwd=work, env=env, stdout=out, stderr=subprocess.STDOUT)
    try:
        deadline = time.time() + BOUND
        while time.time() < deadline and proc.poll() is None and not started(read(out_path).decode("latin-1")):
            time.sleep(0.05)
        time.sleep(0.2)
        proc.send_signal(signal.SIGTERM)
        try:
            proc.wait(timeout=BOUND)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
            return None, read(out_path).decode("latin-1")
        return proc.returncode, read(out_path).decode("latin-1")
    finally:
        os.unlink(out_path)


def settings_written(work):
    ini = os.path.join(work, "vantrel.ini")
    return lambda _: b"TOOLTIPS=yes" in read(ini)


def through_links(exe, work):
    """vantrel.dat is a link to a link into a synced folder, vantrel.ini a
    link to a file not made yet, and the list has a second hard link: all are
    written through, and every name shows the saved list."""
    os.mkdir(os.path.join(work, "synced"))
    write(os.path.join(work, "synced", "list.dat"), SITE_LF, 0o640)
    os.link(os.path.join(work, "synced", "list.dat"), os.path.join(work, "synced", "backup.dat"))
    os.symlink("synced/list.dat", os.path.join(work, "hop"))
    os.symlink("hop", os.path.join(work, "vantrel.dat"))
    os.symlink("synced/settings.ini", os.path.join(work, "vantrel.ini"))
    status, out = run(exe, work, lambda _: os.path.exists(os.path.join(work, "synced", "settings.ini")))
    problems = []
    for name in ("vantrel.dat", "vantrel.ini", "hop"):
        if not os.path.islink(os.path.join(work, name)):
            problems.append("%s is no longer a link" % name)
    if read(os.path.join(work, "synced", "list.dat")) != SITE:
        problems.append("the linked list was not saved: %r" % read(os.path.join(work, "synced", "list.dat")))
    if read(os.path.join(work, "synced", "backup.dat")) != SITE:
        problems.append("the hard link no longer shows the list")
    if stat.S_IMODE(os.stat(os.path.join(work, "synced", "list.dat")).st_mode) != 0o640:
        problems.append("the list lost its mode")
    if b"TOOLTIPS=yes" not in read(os.path.join(work, "synced", "settings.ini")):
        problems.append("the linked settings file was not written")
    return status, 0, out, problems


def read_only_folder(exe, work):
    """The folder takes no new files but both files are writable: they are
    written in place, with no message."""
    write(os.path.join(work, "vantrel.dat"), SITE_LF)
    write(os.path.join(work, "vantrel.ini"), SETTINGS)
    os.chmod(work, 0o555)
    try:
        status, out = run(exe, work, settings_written(work))
    finally:
        os.chmod(work, 0o700)
    problems = [] if read(os.path.join(work, "vantrel.dat")) == SITE else ["the list was not saved in place"]
    if SAVE_FAILED in out:
        problems.append("a save was refused")
    return status, 0, out, problems


def unreadable_files(exe, work):
    """A CR-only list and settings file are kept beside themselves before
    they are written, and standard error says so once for each."""
    cr_site = SITE.replace(b"\r\n", b"\r")
    cr_settings = b"CREATOR=Vantrel 1.0\rYOURNAME=Ann\rMONITOR=no\r\r"
    write(os.path.join(work, "vantrel.dat"), cr_site)
    write(os.path.join(work, "vantrel.ini"), cr_settings)
    status, out = run(exe, work, settings_written(work))
    problems = []
    for name, original in (("vantrel.dat", cr_site), ("vantrel.ini", cr_settings)):
        notices = re.findall(r"Unreadable File: %s could not be read and was kept as (%s\.unreadable-\d{8}-\d{6})\.\n"
                             % (re.escape(name), re.escape(name)), out)
        if len(notices) != 1:
            problems.append("%d notices for %s" % (len(notices), name))
        elif read(os.path.join(work, notices[0])) != original:
            problems.append("%s does not hold the old bytes" % notices[0])
    if read(os.path.join(work, "vantrel.dat")) != b"":
        problems.append("the empty list was not saved")
    return status, 0, out, problems


def fifos(exe, work):
    """FIFOs in place of both files hold neither the start nor the end: the
    list is empty, each save is refused, and the status says the list was not
    stored."""
    os.mkfifo(os.path.join(work, "vantrel.dat"))
    os.mkfifo(os.path.join(work, "vantrel.ini"))
    status, out = run(exe, work, lambda text: SAVE_FAILED in text)
    problems = [] if out.count(SAVE_FAILED) == 2 else ["%d save messages" % out.count(SAVE_FAILED)]
    if not stat.S_ISFIFO(os.stat(os.path.join(work, "vantrel.dat")).st_mode):
        problems.append("the FIFO was replaced")
    return status, 3, out, problems


def save_fails_at_exit(exe, work):
    """A read-only list: the message is shown at the end, the file is kept,
    and the program ends with status 3."""
    write(os.path.join(work, "vantrel.dat"), SITE, 0o444)
    write(os.path.join(work, "vantrel.ini"), SETTINGS)
    status, out = run(exe, work, settings_written(work))
    problems = [] if out.count(SAVE_FAILED) == 1 else ["%d save messages" % out.count(SAVE_FAILED)]
    if read(os.path.join(work, "vantrel.dat")) != SITE:
        problems.append("the read-only list was changed")
    return status, 3, out, problems


def main():
    exe = os.path.abspath(sys.argv[1])
    cases = [through_links, read_only_folder, unreadable_files, fifos, save_fails_at_exit]
    failures = []
    for case in cases:
        work = tempfile.mkdtemp(prefix="vantrel-files-")
        try:
            status, expected, out, problems = case(exe, work)
            if status is None:
                problems.append("still running after SIGTERM")
            elif status != expected:
                problems.append("exit status %d instead of %d" % (status, expected))
            if problems:
                failures.append("%s: %s\nprogram output:\n%s" % (case.__name__, "; ".join(problems), out))
        finally:
            os.chmod(work, 0o700)
            shutil.rmtree(work, ignore_errors=True)
    for f in failures:
        print(f)
    print("%d passed, %d failed" % (len(cases) - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
