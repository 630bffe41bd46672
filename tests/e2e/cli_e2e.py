#!/usr/bin/env python3
"""The real program's commands, end to end.

vantrel check against a loopback server: every line is read by a strict
parser of the monitoring plugin grammar of this test's own, the exit status
is the state, and the folder it runs in stays empty. The folder commands
(list, add, remove, check-now, import, export, export-history) run twice:
on the files when no instance runs (under the folder's lock, which is gone
afterwards), and against a headless instance running in the folder, which
takes them over its socket (its lock stays its own, its rows change, and the
list file is written). Imports of each form are run with duplicates,
invalid rows and a garbage file, which is refused with its line number; a
dry run changes no byte."""
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import desktop
import fasttime
import fixture

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    return ok


class Handler(fixture.Page):
    def do_GET(self):
        if self.path.startswith("/slow"):
            time.sleep(0.3)
        if self.path.startswith("/down"):
            body, status = b"maintenance", 503
        else:
            body, status = b"x" * 5120 + b"status: green", 200
        self.send_page(body, status, [("X-Seen-Probe", self.headers.get("X-Probe", ""))])


PLUGIN = re.compile(r"^VANTREL (OK|WARNING|CRITICAL|UNKNOWN) - ([^|\r\n]+?)(?: \| (\S+(?: \S+)*))?\n$")
PERF = re.compile(r"^([^'= ]+)=(-?\d+(?:\.\d+)?)(s|ms|us|%|B|KB|MB|TB|c)?"
                  r"(?:;(@?(?:(?:~|-?\d+(?:\.\d+)?):)?(?:-?\d+(?:\.\d+)?)?)"
                  r"(?:;(@?(?:(?:~|-?\d+(?:\.\d+)?):)?(?:-?\d+(?:\.\d+)?)?)"
                  r"(?:;(-?\d+(?:\.\d+)?)?(?:;(-?\d+(?:\.\d+)?)?)?)?)?)?$")
STATES = {"OK": 0, "WARNING": 1, "CRITICAL": 2, "UNKNOWN": 3}


def plugin_line(out, rc, what):
    m = PLUGIN.match(out)
    if not check(m, "%s: not a plugin line: %r" % (what, out)):
        return None, {}
    check(STATES[m.group(1)] == rc, "%s: %s with exit status %d" % (what, m.group(1), rc))
    perf = {}
    for item in (m.group(3) or "").split(" ") if m.group(3) else []:
        p = PERF.match(item)
        if check(p, "%s: perfdata %r breaks the grammar" % (what, item)):
            perf[p.group(1)] = p
    return m.group(1), perf


def run(exe, folder, *args, env, stdin=None, timeout=60):
    proc = subprocess.run([exe, *args], cwd=folder, env=env, input=stdin, capture_output=True, timeout=timeout)
    return proc.returncode, proc.stdout.decode("utf-8", "replace"), proc.stderr.decode("utf-8", "replace")


def plugin(exe, work, env, base):
    empty = os.path.join(work, "plugin")
    os.mkdir(empty)
    cases = [
        ((base + "/", "--text", "green", "-w", "5000", "-c", "10000", "-H", "X-Probe: 1"), "OK"),
        ((base + "/", "--regex", "status: (green|amber)"), "OK"),
        ((base + "/", "--text", "green", "--invert"), "CRITICAL"),
        ((base + "/slow", "--warn-ms", "100", "--crit-ms", "5000"), "WARNING"),
        ((base + "/slow", "--warn-ms", "50", "--crit-ms", "100"), "CRITICAL"),
        ((base + "/down",), "OK"),
        ((base + "/down", "--status", "200-299"), "CRITICAL"),
        (("http://127.0.0.1:1/",), "CRITICAL"),
        ((base + "/", "--status", "2xx"), "UNKNOWN"),
        ((base + "/", "--warn-ms", "900", "--crit-ms", "100"), "UNKNOWN"),
        ((base + "/", "--frobnicate"), "UNKNOWN"),
        ((), "UNKNOWN"),
        (("ftp://127.0.0.1/",), "UNKNOWN"),
    ]
    for args, expected in cases:
        rc, out, err = run(exe, empty, "check", *args, env=env)
        state, perf = plugin_line(out, rc, "check %s" % " ".join(args))
        check(state == expected, "check %s: %s, expected %s (%r)" % (" ".join(args), state, expected, out))
        if state in ("OK", "WARNING") or (state == "CRITICAL" and "/slow" in " ".join(args)):
            t = perf.get("time")
            if check(t is not None and t.group(3) == "s", "check %s: no time in seconds: %r" % (args, out)):
                warn = [a for i, a in enumerate(args) if i and args[i - 1] in ("-w", "--warn-ms")]
                if warn:
                    check(t.group(4) == str(int(warn[0]) / 1000).rstrip("0").rstrip("."),
                          "check %s: warning range %r" % (args, t.group(4)))
            if "/down" not in " ".join(args):
                check(perf.get("size") and perf["size"].group(2) == "5133", "check %s: size %r" % (args, out))
    rc, out, err = run(exe, empty, "check", "--help", env=env)
    check(rc == 0 and "--warn-ms" in out and "--status" in out, "check --help: %s %r" % (rc, out))
    check(os.listdir(empty) == [], "vantrel check left files: %s" % os.listdir(empty))


CSV = ("title,url,text\r\n"
       "Shop,{base}/shop,green\r\n"
       "Dup of list,{base}/,\r\n"
       "Dup in file,{base}/shop,\r\n"
       "Bad,ftp://files.example/,\r\n"
       "\"Quoted, title\",{base}/quoted,\r\n")
URLS = "# sites\n{base}/u1\n{base}/u1\nnot a url\n{base}/u2\n"
BOOKMARKS = """<!DOCTYPE NETSCAPE-Bookmark-file-1>
<DL><p>
<DT><H3>Bar</H3>
<DL><p>
<DT><A HREF="{base}/bar">In the bar</A>
<DT><H3>Work</H3>
<DL><p>
<DT><A HREF="{base}/work">Work page</A>
<DT><A HREF="javascript:void(0)">Bookmarklet</A>
<DT><A HREF="{base}/shop">Shop again</A>
</DL><p>
</DL><p>
</DL><p>
"""


def titles(exe, folder, env):
    rc, out, err = run(exe, folder, "list", "--json", env=env)
    check(rc == 0, "list --json: %s %r" % (rc, err))
    return [s["title"] for s in json.loads(out)] if rc == 0 else []


def folder_commands(exe, folder, env, base, instance):
    """The same commands with or without an instance; `instance` is its pid or None."""
    how = "with an instance" if instance else "without an instance"
    dat = os.path.join(folder, "vantrel.dat")

    def lock_pid():
        try:
            return int(open(os.path.join(folder, ".vantrel.lock")).readline())
        except (OSError, ValueError):
            return None

    rc, out, err = run(exe, folder, "add", "Home", base + "/", "green", env=env)
    check(rc == 0 and "Added Home" in out, "%s: add: %s %r %r" % (how, rc, out, err))
    rc, out, err = run(exe, folder, "add", "Home", base + "/", "green", env=env)
    check(rc == 1 and "already in the list" in err, "%s: add twice: %s %r" % (how, rc, err))
    rc, out, err = run(exe, folder, "add", "Bad", "mailto:me@example", env=env)
    check(rc == 1, "%s: add of a bad URL: %s %r" % (how, rc, err))
    rc, out, err = run(exe, folder, "add", "X", base + "/x", "--action", "Pigeon", env=env)
    check(rc == 2, "%s: add with an unknown action: %s %r" % (how, rc, err))
    rc, out, err = run(exe, folder, "add", "Down", base + "/down", "--action", "URL", env=env)
    check(rc == 0, "%s: add Down: %s %r" % (how, rc, err))
    check(titles(exe, folder, env) == ["Down", "Home"], "%s: list after add: %s" % (how, titles(exe, folder, env)))
    check("ST=Down" in open(dat, newline="").read(), "%s: the file lacks the added site" % how)

    rc, out, err = run(exe, folder, "list", env=env)
    check(rc == 0 and out.splitlines()[0].split() == ["STATUS", "TITLE", "URL", "CHECKED"] and "New" in out,
          "%s: list: %r" % (how, out))
    rc, out, err = run(exe, folder, "list", "--csv", env=env)
    check(rc == 0 and out.startswith("title,url,text,") and out.count("\r\n") == 3, "%s: list --csv: %r" % (how, out))
    rc, out, err = run(exe, folder, "list", "--csv", "--json", env=env)
    check(rc == 2, "%s: list --csv --json: %s" % (how, rc))

    rc, out, err = run(exe, folder, "check-now", "Home", env=env)
    check(rc == 0 and "Checked 1 site." in out and re.search(r"^OK\s+Home", out, re.M),
          "%s: check-now Home: %s %r %r" % (how, rc, out, err))
    rc, out, err = run(exe, folder, "check-now", env=env)
    check(rc == 0 and "Checked 2 sites." in out, "%s: check-now: %s %r %r" % (how, rc, out, err))
    states = {s["title"]: s["status"] for s in json.loads(run(exe, folder, "list", "--json", env=env)[1])}
    check(states == {"Home": "OK", "Down": "OK"}, "%s: states after check-now: %s" % (how, states))
    rc, out, err = run(exe, folder, "check-now", "Nowhere", env=env)
    check(rc == 1, "%s: check-now of no site: %s %r" % (how, rc, err))

    # Imports: each form, with duplicates, invalid rows and a garbage file.
    files = {"sites.csv": CSV, "urls.txt": URLS, "bookmarks.html": BOOKMARKS}
    for name, text in files.items():
        with open(os.path.join(folder, name), "w", newline="") as f:
            f.write(text.format(base=base))
    with open(os.path.join(folder, "garbage.bin"), "wb") as f:
        f.write(b"https://fine.example/\n" * 3 + bytes(range(256)))
    before = open(dat, "rb").read()
    rc, out, err = run(exe, folder, "import", "--dry-run", "sites.csv", env=env)
    check(rc == 0 and "2 new, 2 already present, 1 invalid" in out and "line 5" in out,
          "%s: import --dry-run sites.csv: %s %r %r" % (how, rc, out, err))
    check(open(dat, "rb").read() == before, "%s: a dry run changed vantrel.dat" % how)
    rc, out, err = run(exe, folder, "import", "garbage.bin", env=env)
    check(rc == 1 and "garbage.bin:4:" in err and "nothing imported" in err,
          "%s: garbage: %s %r" % (how, rc, err))
    rc, out, err = run(exe, folder, "import", "-", env=env, stdin=b"Dear reader,\nthis is a letter.\n")
    check(rc == 1 and "-:1:" in err, "%s: prose: %s %r" % (how, rc, err))
    check(open(dat, "rb").read() == before, "%s: a refused import changed vantrel.dat" % how)
    rc, out, err = run(exe, folder, "import", "sites.csv", env=env)
    check(rc == 0 and "Imported 2 sites." in out, "%s: import sites.csv: %s %r %r" % (how, rc, out, err))
    rc, out, err = run(exe, folder, "import", "urls.txt", env=env)
    check(rc == 0 and "2 new, 1 already present, 1 invalid" in out, "%s: import urls.txt: %s %r" % (how, rc, out))
    rc, out, err = run(exe, folder, "import", "--folder", "Nope", "bookmarks.html", env=env)
    check(rc == 1 and "Bar / Work" in err, "%s: import of a folder not there: %s %r" % (how, rc, err))
    rc, out, err = run(exe, folder, "import", "--folder", "Work", "bookmarks.html", env=env)
    check(rc == 0 and "1 new, 1 already present, 1 invalid" in out, "%s: import Work: %s %r" % (how, rc, out))
    expected = ["Work page", base + "/u1", base + "/u2", "Shop", "Quoted, title", "Down", "Home"]
    check(titles(exe, folder, env) == expected, "%s: rows after imports: %s" % (how, titles(exe, folder, env)))

    # Export, and the export imported into an empty folder gives the same sites.
    rc, out, err = run(exe, folder, "export", "export.json", env=env)
    doc = json.load(open(os.path.join(folder, "export.json")))
    check(rc == 0 and doc["format"] == "vantrel-export" and doc["schemaVersion"] == 1 and len(doc["sites"]) == 7,
          "%s: export: %s %r" % (how, rc, err))
    other = folder + "-copy"
    os.mkdir(other)
    rc, out, err = run(exe, other, "import", os.path.join(folder, "export.json"), env=env)
    check(rc == 0 and "7 new" in out and titles(exe, other, env) == expected,
          "%s: export imported elsewhere: %s %r %s" % (how, rc, out, titles(exe, other, env)))
    shutil.rmtree(other)

    rc, out, err = run(exe, folder, "export-history", "--from", "2000-01-01", env=env)
    lines = out.splitlines()
    check(rc == 0 and lines[0].startswith("time,unix_time,title,url,status") and len(lines) >= 4,
          "%s: export-history: %s %r %r" % (how, rc, out[:200], err))
    rc, out, err = run(exe, folder, "export-history", "--json", "--to", "2000-01-01", env=env)
    check(rc == 0 and json.loads(out) == [], "%s: export-history of an empty range: %s %r" % (how, rc, out))
    rc, out, err = run(exe, folder, "export-history", "--from", "yesterday", env=env)
    check(rc == 2, "%s: export-history --from yesterday: %s" % (how, rc))

    rc, out, err = run(exe, folder, "remove", "Nope", env=env)
    check(rc == 1, "%s: remove of no site: %s" % (how, rc))
    rc, out, err = run(exe, folder, "remove", base + "/u2", env=env)
    check(rc == 0 and "Removed" in out, "%s: remove: %s %r %r" % (how, rc, out, err))
    check(base + "/u2" not in open(dat).read(), "%s: the removed site is still in the file" % how)
    if instance:
        check(lock_pid() == instance, "%s: the lock changed hands: %s" % (how, lock_pid()))
    else:
        check(lock_pid() is None, "%s: a lock was left behind" % how)


def on_display(exe, work, base):
    """As the user meets it: a site added from a terminal appears in the open
    window; File > Import Sites... shows its preview and adds the new rows."""
    missing = desktop.missing_tools()
    missing = [t for t in missing if t != "trayer"]
    if missing:
        print("SKIP on a display: %s missing" % ", ".join(missing))
        return
    shots = os.environ.get("VANTREL_E2E_SHOTS")
    with desktop.Desktop() as d:
        folder = os.path.join(work, "display")
        os.mkdir(folder)
        with open(os.path.join(folder, "vantrel.ini"), "w", newline="") as f:
            f.write("MONITOR=no\r\n")
        with open(os.path.join(folder, "urls.txt"), "w") as f:
            f.write("%s/one\n%s/one\nnot a url\n%s/two\n" % (base, base, base))
        env = dict(d.env, TMPDIR=work)
        proc = subprocess.Popen([exe], cwd=folder, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            check(desktop.wait_for(lambda: desktop.started(folder), 20), "display: no start")
            time.sleep(0.5)
            run(exe, folder, env=env)  # a second start shows the window
            wid = desktop.wait_for(lambda: d.window_of(proc.pid, "Vantrel: vantrel.dat"), 10)
            if not check(wid and desktop.wait_for(lambda: d.mapped(wid), 10), "display: the window is not shown"):
                return
            rc, out, err = run(exe, folder, "add", "From the shell", base + "/shell", env=env)
            check(rc == 0, "display: add: %s %r" % (rc, err))
            time.sleep(0.5)
            if shots:
                d.screenshot(os.path.join(shots, "cli-added.png"))
            d.run(["xdotool", "windowactivate", "--sync", wid])
            d.run(["xdotool", "key", "--window", wid, "alt+f"])
            time.sleep(0.5)
            d.run(["xdotool", "key", "i"])
            chooser = desktop.wait_for(lambda: d.window_of(proc.pid, "Import Sites"), 10)
            if not check(chooser, "display: File > Import Sites... opened no file dialog"):
                return
            time.sleep(0.5)
            d.run(["xdotool", "type", "--delay", "20", os.path.join(folder, "urls.txt")])
            d.run(["xdotool", "key", "Return"])
            time.sleep(1.5)
            if shots:
                d.screenshot(os.path.join(shots, "cli-import-preview.png"))
            d.run(["xdotool", "key", "Return"])  # Import
            ok = desktop.wait_for(lambda: len(titles(exe, folder, env)) == 3, 10)
            check(ok, "display: the import did not reach the rows: %s" % titles(exe, folder, env))
            check(titles(exe, folder, env) == [base + "/one", base + "/two", "From the shell"],
                  "display: rows after the import: %s" % titles(exe, folder, env))
            if shots:
                time.sleep(0.5)
                d.screenshot(os.path.join(shots, "cli-imported.png"))
        finally:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


def main():
    exe = os.path.abspath(sys.argv[1])
    work = tempfile.mkdtemp(prefix="vantrel-cli-")
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime, TMPDIR=work, TZ="UTC")
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    server, base = fixture.serve(Handler)
    proc = None
    try:
        before = len(failures)
        plugin(exe, work, env, base)
        print("plugin: %s" % ("ok" if len(failures) == before else "FAILED"))

        alone = os.path.join(work, "alone")
        os.mkdir(alone)
        before = len(failures)
        folder_commands(exe, alone, env, base, None)
        print("without an instance: %s" % ("ok" if len(failures) == before else "FAILED"))

        running = os.path.join(work, "running")
        os.mkdir(running)
        with open(os.path.join(running, "vantrel.ini"), "w", newline="") as f:
            f.write("MONITOR=no\r\n")
        proc = subprocess.Popen([exe], cwd=running, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        deadline = time.time() + 20
        while time.time() < deadline and "TOOLTIPS=yes" not in open(os.path.join(running, "vantrel.ini")).read():
            time.sleep(0.05)
        before = len(failures)
        folder_commands(exe, running, env, base, proc.pid)
        proc.send_signal(signal.SIGTERM)
        err = proc.communicate(timeout=30)[1].decode("latin-1")
        check(proc.returncode == 0, "the instance ended with %s: %r" % (proc.returncode, err))
        # The rows it was given are the ones it saves at its end.
        saved = open(os.path.join(running, "vantrel.dat")).read()
        check(saved.count("ST=") == 6 and "ST=Work page" in saved and "STATUS=OK" in saved,
              "the instance saved: %r" % saved)
        print("with an instance: %s" % ("ok" if len(failures) == before else "FAILED"))
        before = len(failures)
        on_display(exe, work, base)
        print("on a display: %s" % ("ok" if len(failures) == before else "FAILED"))
    finally:
        fasttime.kill(proc)
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)
    return fasttime.tally(failures)


if __name__ == "__main__":
    sys.exit(main())
