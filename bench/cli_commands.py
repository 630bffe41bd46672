#!/usr/bin/env python3
"""Wall times of the command line, one run side by side.

vantrel check against curl -o /dev/null -w on the same loopback URL (a
5 KiB page from a keep-nothing HTTP/1.0 server on 127.0.0.1), and the
packaged check_http / check_curl where they are installed; the median of
interleaved runs of each. Then vantrel list on a folder of 10,000 sites:
read from the file, and through a running headless instance's socket.
Prints the figures and the ratios; asserts nothing."""
import http.server
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time

RUNS = int(os.environ.get("VANTREL_BENCH_RUNS", "41"))


class Page(http.server.BaseHTTPRequestHandler):
    body = b"<html><body>" + b"x" * 5100 + b"status: green</body></html>"

    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Length", str(len(self.body)))
        self.end_headers()
        self.wfile.write(self.body)

    def log_message(self, *args):
        pass


def wall(cmd, cwd, env):
    start = time.perf_counter()
    proc = subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - start, proc.returncode


def median_ms(samples):
    return statistics.median(samples) * 1000


def main():
    exe = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/release/app/vantrel")
    # The program loads its window's libraries (Qt, ...) before main(), also
    # for `check`; the Qt-free build of the same command shows that share.
    work = tempfile.mkdtemp(prefix="vantrel-cli-bench-")
    runtime = os.path.join(work, "runtime")
    os.mkdir(runtime, 0o700)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=runtime, TMPDIR=work)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Page)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    url = "http://127.0.0.1:%d/" % server.server_address[1]
    proc = None
    try:
        tools = {
            "vantrel check": [exe, "check", url, "--text", "green", "-w", "500", "-c", "1000"],
            "curl -o /dev/null -w": ["curl", "-s", "-o", "/dev/null", "-w", "%{http_code} %{time_total}", url],
        }
        # Another build of the program (VANTREL_BENCH_BEFORE), measured in the same run.
        before = os.environ.get("VANTREL_BENCH_BEFORE")
        if before:
            tools["vantrel check (before)"] = [os.path.abspath(before)] + tools["vantrel check"][1:]
        core = os.path.join(os.path.dirname(exe), "..", "bench", "vantrel_cli_check_core")
        if os.path.exists(core):
            tools["the same check without Qt"] = [core, "check", url, "--text", "green", "-w", "500", "-c", "1000"]
        for plugin in ("check_http", "check_curl"):
            path = shutil.which(plugin) or next(
                (p for p in ("/usr/lib/nagios/plugins/" + plugin, "/usr/lib/monitoring-plugins/" + plugin)
                 if os.path.exists(p)), None)
            if path:
                tools[plugin] = [path, "-H", "127.0.0.1", "-p", str(server.server_address[1]), "-s", "green"]
            else:
                print("%s: not installed on this machine, not measured" % plugin)
        samples = {name: [] for name in tools}
        for name, cmd in tools.items():  # one warm-up each
            wall(cmd, work, env)
        for _ in range(RUNS):
            for name, cmd in tools.items():
                t, rc = wall(cmd, work, env)
                if rc != 0:
                    print("%s ended with %d" % (name, rc))
                samples[name].append(t)
        curl = median_ms(samples["curl -o /dev/null -w"])
        print("one check of %s, median of %d interleaved runs:" % (url, RUNS))
        for name in tools:
            m = median_ms(samples[name])
            print("  %-26s %7.2f ms  (%.2f x curl)" % (name, m, m / curl))

        # 10,000 sites.
        folder = os.path.join(work, "list")
        os.mkdir(folder)
        records = []
        for i in range(10000):
            records.append("ST=Site %05d\r\nURL=https://site%05d.example/health\r\nTESTSTRING=ok\r\n"
                           "CREATE=01 Dec 2026\r\nCHECK=10 Dec 2026 12:00:00\r\nURLEMAIL=\r\nACTION=Email\r\n"
                           "STATUS=OK\r\n" % (i, i))
        with open(os.path.join(folder, "vantrel.dat"), "w", newline="") as f:
            f.write("CREATOR=Vantrel 1.0\r\n" + "\r\n".join(records))
        with open(os.path.join(folder, "vantrel.ini"), "w", newline="") as f:
            f.write("MONITOR=no\r\n")
        print("vantrel list on 10,000 sites, median of 11 runs:")
        for how in ("from the file", "through a running instance"):
            if how != "from the file":
                proc = subprocess.Popen([exe], cwd=folder, env=env, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
                deadline = time.time() + 60
                while time.time() < deadline and "TOOLTIPS=yes" not in open(os.path.join(folder, "vantrel.ini")).read():
                    time.sleep(0.05)
            for args in ([], ["--json"], ["--csv"]):
                times = [wall([exe, "list", *args], folder, env)[0] for _ in range(11)]
                print("  %-28s %-7s %8.1f ms" % (how, " ".join(args) or "table", median_ms(times)))
    finally:
        if proc:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                proc.kill()
        server.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
