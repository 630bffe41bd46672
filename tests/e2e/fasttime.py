"""Running the real program with its clock sped up by libfaketime, and the
small pieces the end-to-end scripts share around it."""

import importlib
import os
import shutil
import signal
import socket
import subprocess

# libfaketime as Debian installs it, or None where it is missing.
LIBRARY = next((p for p in ("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
                            "/usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1",
                            "/usr/lib/faketime/libfaketime.so.1") if os.path.exists(p)), None)


def environment(base, speed, **extra):
    """`base` with libfaketime preloaded and time running `speed` times
    faster, the monotonic clock included, so the program's timers fire
    sooner."""
    env = dict(base, FAKETIME_DONT_FAKE_MONOTONIC="0", LD_PRELOAD=LIBRARY, FAKETIME="+0 x%d" % speed, **extra)
    # In a sanitizer build the preloaded library comes before the sanitizer's
    # runtime, which the runtime refuses unless told not to check.
    if "verify_asan_link_order" not in env.get("ASAN_OPTIONS", ""):
        env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0").lstrip(":")
    return env


def free_port():
    """A loopback port nothing listens on at the moment."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def headless_environment(speed, **extra):
    """This process's environment without a display, with time running
    `speed` times faster."""
    base = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    return environment(base, speed, **extra)


def start_headless(command, work, speed, env=None, **popen):
    """Starts `command` in `work` without a display and with time `speed`
    times faster (`env` added to its environment); its standard output and
    error go to output.txt there, which `output` reads."""
    with open(os.path.join(work, "output.txt"), "ab") as out:
        return subprocess.Popen(command, cwd=work, env=headless_environment(speed, **(env or {})), stdout=out,
                                stderr=subprocess.STDOUT, **popen)


def output(work):
    """What the program started by `start_headless` in `work` has written."""
    try:
        with open(os.path.join(work, "output.txt"), "rb") as f:
            return f.read().decode("latin-1")
    except OSError:
        return ""


def skipped(tools=(), modules=(), faketime=True):
    """True, with the reason printed, when one of the programs `tools`, the
    Python modules `modules` or (with `faketime`) libfaketime is missing."""
    missing = [t for t in tools if not shutil.which(t)]
    for module in modules:
        try:
            importlib.import_module(module)
        except ImportError:
            missing.append(module)
    if faketime and not LIBRARY:
        missing.append("faketime")
    if missing:
        print("SKIP: not installed: %s" % ", ".join(missing))
    return bool(missing)


def verdict(failures, details):
    """Prints the failures with `details`, or that the test passed; returns
    the exit status."""
    if failures:
        print("\n".join(failures) + "\n" + details)
        print("0 passed, 1 failed")
        return 1
    print("1 passed, 0 failed")
    return 0


def tally(failures):
    """Prints each failure and how many there were; returns the exit status."""
    for failure in failures:
        print(failure)
    print("%d failed" % len(failures))
    return 1 if failures else 0


def kill(proc):
    """Kills `proc` (nothing for None) if it still runs and reaps it;
    returns what it wrote to a pipe for its standard output, if it has one."""
    if not proc:
        return ""
    if proc.poll() is None:
        proc.kill()
    return _rest_of_output(proc)


def _rest_of_output(proc):
    """Reaps `proc` and reads the rest of its piped output, waiting 10 s at
    most for a child of its own that may still hold the pipe."""
    try:
        out = proc.communicate(timeout=10)[0]
    except ValueError:  # its output was read already
        out = b""
    except subprocess.TimeoutExpired:
        proc.wait(timeout=10)
        out = b""
    return (out or b"").decode("latin-1")


def terminate(proc, failures, timeout=30):
    """Ends `proc` with SIGTERM, as a service manager does: it must end
    within `timeout` seconds with status 0. Returns what it wrote to a pipe
    for its standard output, if it has one."""
    proc.send_signal(signal.SIGTERM)
    try:
        out = proc.communicate(timeout=timeout)[0]
    except subprocess.TimeoutExpired:
        proc.kill()
        failures.append("the program did not end after SIGTERM")
        return _rest_of_output(proc)
    if proc.returncode != 0:
        failures.append("exit status %d" % proc.returncode)
    return (out or b"").decode("latin-1")
