#!/usr/bin/env python3
"""How the executable loads its two libraries, end to end.

The executable needs no Qt: a check runs without loading any Qt library, a
folder command loads the instance link but not the window's libraries, and
the desktop program is loaded only for a start without a command. The
libraries are found from the executable's real path (a symbolic link to it
works), never from the library search path; an executable without them
still prints its version and checks, and says which library it lacks."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


def needed(path):
    out = subprocess.run(["readelf", "-dW", path], capture_output=True, text=True, check=True).stdout
    return [line.split("[", 1)[1].rstrip("]") for line in out.splitlines() if "(NEEDED)" in line]


def run(cmd, cwd, env, trace=False):
    if trace:
        env = dict(env, LD_DEBUG="files")
    return subprocess.run(cmd, cwd=cwd, env=env, capture_output=True, text=True, timeout=60)


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    exe = os.path.realpath(sys.argv[1])
    folder = os.path.dirname(exe)
    work = tempfile.mkdtemp(prefix="vantrel-launch-")
    try:
        runtime = os.path.join(work, "runtime")
        os.mkdir(runtime, 0o700)
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime, TMPDIR=work, HOME=work)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "LD_LIBRARY_PATH"):
            env.pop(name, None)
        sites = os.path.join(work, "sites")
        os.mkdir(sites)

        # What each part links.
        exe_needs = needed(exe)
        check(not [n for n in exe_needs if n.startswith(("libQt6", "libqt6", "libcanberra"))],
              "the executable links %s" % exe_needs)
        desktop = os.path.join(folder, "libvantrel-desktop.so")
        link = os.path.join(folder, "libvantrel-instance-link.so")
        check(any(n.startswith("libQt6Widgets") for n in needed(desktop)), "the desktop library lacks Qt Widgets")
        link_needs = needed(link)
        check(any(n.startswith("libQt6Network") for n in link_needs) and
              not any(n.startswith(("libQt6Widgets", "libQt6Gui")) for n in link_needs),
              "the instance link links %s" % link_needs)

        # A check loads nothing of Qt; a refused connection is CRITICAL.
        url = "http://127.0.0.1:%d/" % closed_port()
        p = run([exe, "check", url], sites, env, trace=True)
        check(p.returncode == 2 and p.stdout.startswith("VANTREL CRITICAL"), "check: %d %r" % (p.returncode, p.stdout))
        check("libQt6" not in p.stderr and "libvantrel" not in p.stderr, "check loaded Qt or a library of ours")

        # A folder command loads the instance link, not the window.
        p = run([exe, "list"], sites, env, trace=True)
        check(p.returncode == 0, "list: %d %r" % (p.returncode, p.stderr[-500:]))
        check("libvantrel-instance-link.so" in p.stderr and "libQt6Network" in p.stderr,
              "list did not load the instance link")
        check("libQt6Widgets" not in p.stderr and "libvantrel-desktop" not in p.stderr,
              "list loaded the window's libraries")

        # --version and a usage error are the executable's own.
        version = run([exe, "--version"], sites, env, trace=True)
        check(version.returncode == 0 and version.stdout.startswith("Vantrel "), "--version: %r" % version.stdout)
        check("libQt6" not in version.stderr, "--version loaded Qt")

        # Found through a symbolic link, from the executable's real folder.
        linked = os.path.join(work, "bin", "vantrel")
        os.makedirs(os.path.dirname(linked))
        os.symlink(exe, linked)
        p = run([linked, "list", "--csv"], sites, env)
        check(p.returncode == 0 and p.stderr == "", "list through a link: %d %r" % (p.returncode, p.stderr))

        # The executable alone: the commands that need no library work, the
        # others say what they lack and fail.
        alone = os.path.join(work, "alone", "vantrel")
        os.makedirs(os.path.dirname(alone))
        shutil.copy2(exe, alone)
        p = run([alone, "--version"], sites, env)
        check((p.returncode, p.stdout) == (0, version.stdout), "--version alone: %d %r" % (p.returncode, p.stdout))
        p = run([alone, "check", url], sites, env)
        check(p.returncode == 2 and p.stdout.startswith("VANTREL CRITICAL"), "check alone: %d %r" % (p.returncode, p.stdout))
        p = run([alone], sites, env)
        check(p.returncode == 1 and p.stderr.startswith("vantrel: cannot find libvantrel-desktop.so in ") and
              p.stderr.endswith("/vantrel/libvantrel-desktop.so\n"), "start alone: %d %r" % (p.returncode, p.stderr))
        p = run([alone, "add", "Example", "http://127.0.0.1:1/", "ok"], sites, env)
        check(p.returncode == 3 and "cannot find libvantrel-instance-link.so" in p.stderr,
              "add alone: %d %r" % (p.returncode, p.stderr))
        check(os.listdir(sites) == [], "a command touched the folder: %s" % os.listdir(sites))
        # A library that is there but broken is named with the loader's reason.
        with open(os.path.join(work, "alone", "libvantrel-desktop.so"), "w") as f:
            f.write("not a library\n")
        p = run([alone, "--menu-start"], sites, env)
        check(p.returncode == 1 and p.stderr.startswith("vantrel: cannot load " + os.path.join(work, "alone")),
              "broken library: %d %r" % (p.returncode, p.stderr))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("FAIL:", failure)
    print("launch_e2e: %s" % ("FAILED" if failures else "OK"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
