#!/usr/bin/env python3
"""The real program's command line and its one-monitor-per-folder rule.

--help and --version print and end with 0, and an unknown argument prints a
short usage and ends with 2, none of them touching a file. --menu-start runs
in $XDG_DATA_HOME/vantrel (~/.local/share/vantrel when unset), or in the home
folder when ~/vantrel.dat is there. A second start in a folder where the
program runs ends with 1 and names the running pid when there is no display,
and shows the running window and ends with 0 on a display (under Xvfb with
openbox and trayer, when they are installed); another folder runs beside it, and the
lock of a killed instance is taken over.

Stale locks, each the way it was found: a lock naming the starting
program's own pid, one naming a Vantrel that runs in another folder, an
empty and a garbage lock are all taken over, since no Vantrel answers for the
folder. A folder without write permission bits gets no lock, and its
running instance still keeps a second start out. A fresh lock from another host is not: the start names that host and
the file to remove; once the lock is ten minutes old it is taken over. A
running instance refreshes its lock's time."""
import os
import shutil
import socket
import signal
import subprocess
import sys
import tempfile
import time

import desktop
import fasttime

SITE = ("CREATOR=Vantrel 1.0\r\nST=Kept\r\nURL=http://127.0.0.1:1/\r\nTESTSTRING=\r\nCREATE=01 Dec 2026\r\n"
        "CHECK=\r\nURLEMAIL=\r\nACTION=Sound\r\nSTATUS=New\r\n")
SETTINGS = "MONITOR=no\r\n"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def wait_for(predicate, seconds):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


def started(folder):
    """Start-up is over once the settings file has been rewritten."""
    ini = os.path.join(folder, "vantrel.ini")
    return os.path.exists(ini) and "TOOLTIPS=yes" in open(ini, newline="").read()


def lock_pid(folder):
    try:
        return int(open(os.path.join(folder, ".vantrel.lock")).readline())
    except (OSError, ValueError):
        return None


def make_list(folder):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "vantrel.dat"), "w", newline="") as f:
        f.write(SITE)
    with open(os.path.join(folder, "vantrel.ini"), "w", newline="") as f:
        f.write(SETTINGS)


class Runner:
    def __init__(self, exe, env):
        self.exe, self.env, self.procs = exe, env, []

    def start(self, folder, *args, env=None, program=None):
        proc = subprocess.Popen([program or self.exe, *args], cwd=folder, env=env or self.env, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        self.procs.append(proc)
        return proc

    def run(self, folder, *args, env=None):
        proc = self.start(folder, *args, env=env)
        try:
            out, err = proc.communicate(timeout=30)
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
            failures.append("%s %s did not end" % (folder, " ".join(args)))
        return proc.returncode, out.decode("latin-1"), err.decode("latin-1")

    def stop(self, proc, what):
        """Ends `proc` with SIGTERM; returns what it wrote to standard error."""
        proc.send_signal(signal.SIGTERM)
        try:
            err = proc.communicate(timeout=20)[1]
        except subprocess.TimeoutExpired:
            proc.kill()
            err = proc.communicate()[1]
        check(proc.returncode == 0, "%s: exit status %s after SIGTERM" % (what, proc.returncode))
        return err.decode("latin-1")

    def kill_all(self):
        for proc in self.procs:
            fasttime.kill(proc)


def command_line(runner, work):
    empty = os.path.join(work, "empty")
    os.mkdir(empty)
    rc, out, err = runner.run(empty, "--help")
    check(rc == 0 and out.startswith("Usage: vantrel") and "--version" in out and err == "",
          "--help: %s %r %r" % (rc, out, err))
    rc, out, err = runner.run(empty, "--version")
    check(rc == 0 and out == "Vantrel 1.08\n" and err == "", "--version: %s %r %r" % (rc, out, err))
    for bad, rejected in ((["--frobnicate"], "--frobnicate"), (["-platform", "xcb"], "-platform"),
                          (["vantrel.dat"], "vantrel.dat"), (["--menu-start", "-x"], "-x")):
        rc, out, err = runner.run(empty, *bad)
        check(rc == 2 and out == "" and err.startswith("vantrel: unknown option '%s'\nUsage: vantrel" % rejected),
              "%s: %s %r %r" % (bad, rc, out, err))
    check(os.listdir(empty) == [], "the options left files behind: %s" % os.listdir(empty))


def menu_start(runner, work):
    home = os.path.join(work, "home")
    terminal = os.path.join(work, "terminal")
    os.makedirs(home)
    os.makedirs(terminal)
    env = dict(runner.env, HOME=home)
    env.pop("XDG_DATA_HOME", None)
    data = os.path.join(home, ".local", "share", "vantrel")
    cases = [("no XDG_DATA_HOME", env, data),
             ("XDG_DATA_HOME", dict(env, XDG_DATA_HOME=os.path.join(work, "xdg")), os.path.join(work, "xdg", "vantrel")),
             ("a relative XDG_DATA_HOME", dict(env, XDG_DATA_HOME="rel"), data)]
    for what, case_env, folder in cases:
        proc = runner.start(terminal, "--menu-start", env=case_env)
        if check(wait_for(lambda: started(folder), 20), "menu start with %s: no files in %s" % (what, folder)):
            check(oct(os.stat(folder).st_mode & 0o777) == "0o700", "%s is not private" % folder)
        runner.stop(proc, "menu start with " + what)
        shutil.rmtree(folder, ignore_errors=True)
    # An earlier list in the home folder keeps the home folder.
    make_list(home)
    proc = runner.start(terminal, "--menu-start", env=env)
    check(wait_for(lambda: started(home), 20), "menu start with ~/vantrel.dat did not run in the home folder")
    runner.stop(proc, "menu start in the home folder")
    check(not os.path.exists(data), "menu start with ~/vantrel.dat made %s" % data)
    check(os.listdir(terminal) == [], "a menu start wrote into its current directory: %s" % os.listdir(terminal))


def one_per_folder(runner, work):
    first, second = os.path.join(work, "first"), os.path.join(work, "second")
    make_list(first)
    make_list(second)
    a = runner.start(first)
    if not check(wait_for(lambda: started(first), 20), "the first instance did not start"):
        return
    check(lock_pid(first) == a.pid, "the lock file names pid %s, not %s" % (lock_pid(first), a.pid))
    alias = os.path.join(work, "alias")
    os.symlink(first, alias)
    for folder in (first, alias):
        rc, out, err = runner.run(folder)
        check(rc == 1 and "Vantrel is already running in this folder (pid %d)\n" % a.pid in err,
              "second start in %s: %s %r" % (folder, rc, err))
    check(open(os.path.join(first, "vantrel.dat"), newline="").read() == SITE, "the second start changed the list")
    b = runner.start(second)
    check(wait_for(lambda: started(second), 20) and b.poll() is None, "another folder did not run beside")
    # A killed instance leaves its lock behind; the next start takes it over.
    a.kill()
    a.communicate()
    check(lock_pid(first) == a.pid, "the killed instance's lock is gone")
    make_list(first)
    c = runner.start(first)
    check(wait_for(lambda: started(first), 20) and lock_pid(first) == c.pid and c.poll() is None,
          "the stale lock was not taken over (lock pid %s)" % lock_pid(first))
    runner.stop(c, "the instance that took over")
    runner.stop(b, "the instance in another folder")
    check(not os.path.exists(os.path.join(first, ".vantrel.lock")), "the lock file stays after the end")


def write_lock(folder, pid, host=None, age=0):
    path = os.path.join(folder, ".vantrel.lock")
    with open(path, "wb") as f:
        f.write(b"%d\nvantrel\n%s\n\n\n" % (pid, (host or socket.gethostname()).encode()) if pid is not None
                else host.encode())
    if age:
        os.utime(path, (time.time() - age, time.time() - age))
    return path


def takes_over(runner, folder, what, start=None):
    """A start in `folder` runs, holds the lock and says it took it over."""
    make_list(folder)
    proc = start() if start else runner.start(folder)
    ok = check(wait_for(lambda: started(folder), 20) and proc.poll() is None,
               "%s: the start did not run (status %s)" % (what, proc.poll()))
    if ok:
        check(lock_pid(folder) == proc.pid, "%s: the lock names pid %s, not %s" % (what, lock_pid(folder), proc.pid))
    err = runner.stop(proc, what)
    check("Vantrel took over the lock %s" % os.path.join(folder, ".vantrel.lock") in err,
          "%s: the take-over is not logged: %r" % (what, err))


def stale_locks(runner, work, exe):
    folder = os.path.join(work, "stale")
    make_list(folder)
    # Its own pid: the shell writes its pid and becomes the program.
    takes_over(runner, folder, "a lock with the program's own pid", start=lambda: runner.start(
        folder, "-c", 'printf "%%s\\nvantrel\\n%%s\\n\\n\\n" $$ "%s" > .vantrel.lock && exec "%s"' %
        (socket.gethostname(), exe), program="/bin/sh"))
    # The pid of a Vantrel that runs in another folder.
    other = os.path.join(work, "other")
    make_list(other)
    a = runner.start(other)
    if check(wait_for(lambda: started(other), 20), "the instance in another folder did not start"):
        write_lock(folder, a.pid)
        takes_over(runner, folder, "a lock with another folder's Vantrel")
    runner.stop(a, "the instance in another folder")
    for what, data in (("an empty lock", ""), ("a garbage lock", "\x00\x17garbage")):
        write_lock(folder, None, data)
        takes_over(runner, folder, what)
    # Another host's lock, refreshed a minute ago: named, not taken.
    path = write_lock(folder, 4242, "elsewhere.example", age=60)
    rc, out, err = runner.run(folder)
    check(rc == 1 and "on elsewhere.example (pid 4242)" in err and "remove %s" % path in err,
          "a fresh lock of another host: %s %r" % (rc, err))
    check(lock_pid(folder) == 4242, "the fresh lock of another host was changed")
    write_lock(folder, 4242, "elsewhere.example", age=11 * 60)
    takes_over(runner, folder, "a lock of another host ten minutes old")
    # A folder without write permission bits gets no lock, even from the
    # super-user; the socket alone keeps a second start out.
    closed = os.path.join(work, "closed")
    make_list(closed)
    os.chmod(closed, 0o555)
    proc = runner.start(closed)
    if check(wait_for(lambda: started(closed), 20), "no start in a folder without write bits"):
        check(not os.path.exists(os.path.join(closed, ".vantrel.lock")), "a lock was made in a folder without write bits")
        rc, out, err = runner.run(closed)
        check(rc == 1 and "Vantrel is already running in this folder (pid %d)" % proc.pid in err,
              "second start in a folder without a lock: %s %r" % (rc, err))
    runner.stop(proc, "the instance in a folder without write bits")
    os.chmod(closed, 0o755)
    # A running instance refreshes its lock every minute (time runs 100 times faster).
    if fasttime.LIBRARY:
        make_list(folder)
        env = fasttime.environment(runner.env, 100)
        proc = runner.start(folder, env=env)
        if check(wait_for(lambda: started(folder), 20), "the instance under faketime did not start"):
            lock = os.path.join(folder, ".vantrel.lock")
            os.utime(lock, (time.time() - 3600, time.time() - 3600))
            check(wait_for(lambda: time.time() - os.stat(lock).st_mtime < 60, 10), "the lock was not refreshed")
        runner.stop(proc, "the instance under faketime")


def on_display(runner, work):
    if any(not shutil.which(t) for t in desktop.TOOLS_WITHOUT_TRAY):
        print("SKIP on a display: one of %s is missing" % ", ".join(desktop.TOOLS_WITHOUT_TRAY))
        return
    # With a tray the window hides itself after start-up, the harder case to bring back.
    with desktop.Desktop(tray=shutil.which("trayer") is not None) as d:
        env = dict(runner.env, DISPLAY=d.display)
        env.pop("QT_QPA_PLATFORM", None)
        folder = os.path.join(work, "display")
        make_list(folder)

        def visible():
            return d.run(["xdotool", "search", "--onlyvisible", "--name", "^Vantrel: "]).strip() != ""

        a = runner.start(folder, env=env)
        check(wait_for(lambda: started(folder), 20), "no start on the display")
        check(wait_for(lambda: not visible(), 10), "the window did not go out of sight after start-up")
        rc, out, err = runner.run(folder, env=env)
        check(rc == 0, "second start on the display: exit status %s %r" % (rc, err))
        check(wait_for(visible, 10), "the second start did not bring the window back")
        runner.stop(a, "the instance on the display")


def main():
    exe = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="vantrel-instance-")
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    runner = Runner(exe, env)
    try:
        for part in (command_line, menu_start, one_per_folder, stale_locks, on_display):
            before = len(failures)
            part(runner, work, exe) if part is stale_locks else part(runner, work)
            print("%s: %s" % (part.__name__, "ok" if len(failures) == before else "FAILED"))
    finally:
        runner.kill_all()
        shutil.rmtree(work, ignore_errors=True)
    return fasttime.tally(failures)


if __name__ == "__main__":
    sys.exit(main())
