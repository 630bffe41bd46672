"""Running the real program with its clock sped up by libfaketime, and the
small pieces the end-to-end scripts share around it."""

import http.server
import os
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


class WelcomePage(http.server.BaseHTTPRequestHandler):
    """A page that holds "Welcome" at every path."""

    def do_GET(self):
        body = b"<html>Welcome home</html>"
        self.send_response(200)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


def verdict(failures, details):
    """Prints the failures with `details`, or that the test passed; returns
    the exit status."""
    if failures:
        print("\n".join(failures) + "\n" + details)
        print("0 passed, 1 failed")
        return 1
    print("1 passed, 0 failed")
    return 0


def terminate(proc, failures):
    """Ends `proc` with SIGTERM, as a service manager does: it must end
    within 30 s with status 0."""
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(timeout=30)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
        failures.append("the program did not end after SIGTERM")
    if proc.returncode != 0:
        failures.append("exit status %d" % proc.returncode)
