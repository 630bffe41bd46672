"""A small desktop of the test's own for the end-to-end tests of the window
and the tray: an X server without a screen (Xvfb), a window manager
(openbox), optionally an XEmbed tray (trayer), and a private D-Bus session
bus, so nothing of a desktop the tests may run on is seen or touched.
Every process is started here, waited for within a bound and stopped again
when the `with` block ends."""
import ctypes
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

import fasttime

TOOLS = ("Xvfb", "openbox", "trayer", "xdotool", "xprop", "dbus-daemon")
TOOLS_WITHOUT_TRAY = tuple(t for t in TOOLS if t != "trayer")
# The notification service of the tests, on a session bus it is given.
NOTIFICATIONS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app", "fake_notifications.py")


def missing_tools():
    return [t for t in TOOLS if not shutil.which(t)]


def notifications(record):
    """The notifications the service of `start_notifications` was shown, in order."""
    try:
        with open(record, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.startswith("{")]
    except OSError:
        return []


def wait_for(condition, timeout, step=0.05):
    """Calls `condition` until it gives a true value or `timeout` seconds pass."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def tray_owner(display):
    """The window that owns the XEmbed tray selection of screen 0, or 0."""
    try:
        x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    except OSError:
        return 0
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XGetSelectionOwner.restype = ctypes.c_ulong
    x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x11.XOpenDisplay(display.encode())
    if not dpy:
        return 0
    try:
        return x11.XGetSelectionOwner(dpy, x11.XInternAtom(dpy, b"_NET_SYSTEM_TRAY_S0", 0))
    finally:
        x11.XCloseDisplay(dpy)


def started(work):
    """True once the program in `work` has finished its start-up, which ends by
    writing the settings file (with TOOLTIPS added when it was missing)."""
    try:
        with open(os.path.join(work, "vantrel.ini"), "rb") as f:
            return b"TOOLTIPS=yes" in f.read()
    except OSError:
        return False


class Desktop:
    def __init__(self, tray=False, tray_height=40):
        self.tray = tray
        # trayer draws its icons as high as the bar, less its margin.
        self.tray_height = tray_height
        self.procs = []
        self.home = tempfile.mkdtemp(prefix="vantrel-desktop-")
        self.env = None

    def __enter__(self):
        try:
            self._start()
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def _spawn(self, command, **kwargs):
        kwargs.setdefault("stdout", subprocess.DEVNULL)
        kwargs.setdefault("stderr", subprocess.DEVNULL)
        proc = subprocess.Popen(command, env=self.env, stdin=subprocess.DEVNULL,
                                start_new_session=True, **kwargs)
        self.procs.append(proc)
        return proc

    def _start(self):
        bus_address = "unix:path=%s/bus" % self.home
        self.env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": self.home,
                    "XDG_RUNTIME_DIR": self.home, "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
                    "DBUS_SESSION_BUS_ADDRESS": bus_address, "LANG": "C.UTF-8"}
        # A sanitizer build's options reach the program as they reach every test.
        self.env.update({k: v for k, v in os.environ.items() if k in ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS")})
        self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + bus_address])
        if not wait_for(lambda: os.path.exists(os.path.join(self.home, "bus")), 10):
            raise RuntimeError("dbus-daemon did not start")
        self._start_screen()
        time.sleep(0.5)
        if self.tray:
            self._spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                         "--heighttype", "pixel", "--height", str(self.tray_height), "--SetDockType", "true"])
            # The program looks for a tray once, at its start: the tray must
            # own its selection before that.
            if not wait_for(lambda: tray_owner(self.display), 10):
                raise RuntimeError("trayer did not start")
            # trayer takes the selection before it is ready for docking
            # requests; one sent in between is lost.
            time.sleep(0.5)

    def _start_screen(self):
        """Starts an X server and openbox on it. Now and then a new X server's
        display cannot be opened, and then openbox ends at once ("Failed to
        open the display"); then a fresh server is started on another display,
        three times at most. What openbox printed goes into the error."""
        log_path = os.path.join(self.home, "openbox.log")
        failed = None
        for _ in range(3):
            xvfb = self._start_xvfb()
            # The failed server stops only now, so the new one takes another
            # display number.
            if failed:
                self._stop(failed)
            with open(log_path, "ab") as log:
                openbox = self._spawn(["openbox", "--sm-disable"], stdout=log, stderr=log)
            if self._openbox_ready(openbox):
                return
            if openbox.poll() is None:
                break
            failed = xvfb
        with open(log_path, "rb") as log:
            raise RuntimeError("openbox did not start on %s (exit %s): %s" % (
                self.display, openbox.poll(), log.read()[-400:].decode(errors="replace")))

    def _start_xvfb(self):
        # Keys never repeat: on a busy machine a key's release can come late
        # enough for the server to repeat it into a field.
        read_end, write_end = os.pipe()
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
                                 "tcp", "-ardelay", "30000"], pass_fds=(write_end,), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.procs.append(xvfb)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        if not number.strip():
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        self.env["DISPLAY"] = self.display
        return xvfb

    def _openbox_ready(self, openbox):
        """openbox names itself on the root window before it manages windows:
        a window mapped in between is never framed or shown. The work area is
        set once its screen is set up; a moment more lets it settle."""
        wait_for(lambda: "_NET_WORKAREA(CARDINAL)" in self.xprop("-root") or openbox.poll() is not None, 30)
        return openbox.poll() is None and "_NET_WORKAREA(CARDINAL)" in self.xprop("-root")

    def _stop(self, proc):
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(timeout=5)
        except OSError:
            pass
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait(timeout=5)
        self.procs.remove(proc)

    def run(self, command, timeout=10):
        """Runs one X tool against this display and returns its output ('' on failure)."""
        try:
            return subprocess.run(command, env=self.env, capture_output=True, timeout=timeout,
                                  text=True).stdout
        except (subprocess.TimeoutExpired, OSError):
            return ""

    def start(self, exe, work, speed=None, output=True, **extra):
        """Starts the program `exe` in `work` on this desktop, with time
        `speed` times faster where given and `extra` in its environment; its
        output is a pipe, or dropped without `output`."""
        env = dict(self.env, QT_QPA_PLATFORM="xcb", **extra)
        sink = subprocess.PIPE if output else subprocess.DEVNULL
        proc = subprocess.Popen([exe], cwd=work, env=fasttime.environment(env, speed) if speed else env, stdout=sink,
                                stderr=subprocess.STDOUT if output else subprocess.DEVNULL, start_new_session=True)
        # One the test left running ends with the desktop.
        self.procs.append(proc)
        return proc

    def start_notifications(self, record, seconds):
        """Starts the notification service of the tests on this desktop's
        session bus for `seconds` at most, writing what it is shown to
        `record`; True once it is ready."""
        self._spawn([sys.executable, NOTIFICATIONS, self.env["DBUS_SESSION_BUS_ADDRESS"], record, str(seconds)])
        return wait_for(lambda: os.path.exists(record) and open(record).read().startswith("ready"), 15)

    def xprop(self, *args):
        return self.run(["xprop"] + list(args))

    def window_of(self, pid, title):
        """The id of the visible or hidden top-level window of `pid` named `title`."""
        for wid in self.run(["xdotool", "search", "--all", "--pid", str(pid), "--name", "^%s$" % title]).split():
            if "WM_STATE" in self.xprop("-id", wid) or "_NET_WM_NAME" in self.xprop("-id", wid):
                return wid
        return None

    def mapped(self, wid):
        return "window state: Normal" in self.xprop("-id", wid, "WM_STATE")

    def net_wm_state(self, wid):
        return self.xprop("-id", wid, "_NET_WM_STATE")

    def screenshot(self, path):
        self.run(["import", "-window", "root", path], timeout=20)

    def __exit__(self, *exc):
        for proc in reversed(self.procs):
            if proc.poll() is None:
                try:
                    os.killpg(proc.pid, signal.SIGTERM)
                except OSError:
                    pass
        for proc in reversed(self.procs):
            try:
                proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
                proc.wait(timeout=5)
        shutil.rmtree(self.home, ignore_errors=True)
        return False


class FakeSystemBus:
    """A system bus of the test's own with a fake logind and a fake
    NetworkManager on it, for a `Desktop` whose programs then see it through
    DBUS_SYSTEM_BUS_ADDRESS. logind hands out a delay lock on sleep (the
    writing end of a pipe whose reading end is kept here, so `lock_released`
    sees it let go) and says PrepareForSleep; NetworkManager says
    StateChanged. Needs python3-dbus and python3-gi."""

    LOGIND = "org.freedesktop.login1"
    MANAGER = "org.freedesktop.login1.Manager"
    NM = "org.freedesktop.NetworkManager"

    def __init__(self, desk):
        import dbus
        import dbus.mainloop.glib
        import dbus.service
        from gi.repository import GLib

        address = "unix:path=%s/system_bus" % desk.home
        desk._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address])
        if not wait_for(lambda: os.path.exists(os.path.join(desk.home, "system_bus")), 10):
            raise RuntimeError("the system bus did not start")
        desk.env["DBUS_SYSTEM_BUS_ADDRESS"] = address
        dbus.mainloop.glib.threads_init()
        self.bus = dbus.bus.BusConnection(address, mainloop=dbus.mainloop.glib.DBusGMainLoop())
        self.locks = []  # (what, mode) of each lock taken
        self.read_end = None
        outer = self

        class Logind(dbus.service.Object):
            @dbus.service.method(FakeSystemBus.MANAGER, in_signature="ssss", out_signature="h")
            def Inhibit(self, what, who, why, mode):
                read_end, write_end = os.pipe()
                if outer.read_end is not None:
                    os.close(outer.read_end)
                outer.read_end = read_end
                outer.locks.append((str(what), str(mode)))
                lock = dbus.types.UnixFd(write_end)  # a copy of its own
                os.close(write_end)
                return lock

            @dbus.service.signal(FakeSystemBus.MANAGER, signature="b")
            def PrepareForSleep(self, start):
                pass

        class NetworkManager(dbus.service.Object):
            @dbus.service.signal(FakeSystemBus.NM, signature="u")
            def StateChanged(self, state):
                pass

        self.names = [dbus.service.BusName(self.LOGIND, self.bus), dbus.service.BusName(self.NM, self.bus)]
        self.logind = Logind(self.bus, "/org/freedesktop/login1")
        self.nm = NetworkManager(self.bus, "/org/freedesktop/NetworkManager")
        self.loop = GLib.MainLoop()
        self.thread = threading.Thread(target=self.loop.run, daemon=True)
        self.thread.start()
        self._glib = GLib

    def _on_loop(self, call):
        self._glib.idle_add(lambda: call() and False)

    def sleep(self, start):
        """logind's PrepareForSleep: True before the sleep, False after the resume."""
        self._on_loop(lambda: self.logind.PrepareForSleep(start))

    def network(self, state):
        """NetworkManager's StateChanged (20 disconnected, 70 connected)."""
        self._on_loop(lambda: self.nm.StateChanged(state))

    def lock_released(self):
        """True once no writing end of the last lock is open any more."""
        if self.read_end is None:
            return False
        import select
        poll = select.poll()
        poll.register(self.read_end, select.POLLIN)
        return any(ev & select.POLLHUP for _, ev in poll.poll(0))

    def close(self):
        self.loop.quit()
        self.thread.join(5)
        if self.read_end is not None:
            os.close(self.read_end)
