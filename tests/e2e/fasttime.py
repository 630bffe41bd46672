"""Running the real program with its clock sped up by libfaketime, and the
small pieces the end-to-end scripts share around it."""

import os
import socket

# libfaketime as Debian installs it, or None where it is missing.
LIBRARY = next((p for p in ("/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1",
                            "/usr/lib/aarch64-linux-gnu/faketime/libfaketime.so.1",
                            "/usr/lib/faketime/libfaketime.so.1") if os.path.exists(p)), None)


def environment(base, speed, **extra):
    """`base` with libfaketime preloaded and time running `speed` times
    faster, the monotonic clock included, so the program's timers fire
    sooner."""
    return dict(base, FAKETIME_DONT_FAKE_MONOTONIC="0", LD_PRELOAD=LIBRARY, FAKETIME="+0 x%d" % speed, **extra)


def free_port():
    """A loopback port nothing listens on at the moment."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]
