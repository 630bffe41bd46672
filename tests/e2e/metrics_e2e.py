#!/usr/bin/env python3
"""The real program, headless, with METRICS set to a bare loopback port: it
serves its state and counters as Prometheus text at /metrics on 127.0.0.1.
One site is on a loopback HTTP server and answers, one is on a refused port.
Time runs 100 times faster under libfaketime, so passes come within seconds;
the test fetches /metrics until both sites were checked, reads the samples,
checks that another path gets a 404 and that the history file lies beside
the data files, and ends the program with SIGTERM."""
import http.client
import http.server
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time

import fasttime

DEADLINE = 60  # seconds of real time for the checks to show up




def get(port, path):
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    try:
        conn.request("GET", path)
        r = conn.getresponse()
        return r.status, r.getheader("Content-Type"), r.read().decode("utf-8")
    finally:
        conn.close()


def main():
    exe = os.path.abspath(sys.argv[1])
    faketime = fasttime.LIBRARY
    if not faketime:
        print("SKIP: faketime is not installed")
        return 0
    web = http.server.ThreadingHTTPServer(("127.0.0.1", 0), fasttime.WelcomePage)
    threading.Thread(target=web.serve_forever, daemon=True).start()
    good = "http://127.0.0.1:%d/good" % web.server_address[1]
    refused = "http://127.0.0.1:%d/" % fasttime.free_port()
    port = fasttime.free_port()

    work = tempfile.mkdtemp(prefix="vantrel-metrics-")
    proc = None
    failures = []
    text = ""
    try:
        with open(os.path.join(work, "vantrel.ini"), "wb") as f:
            f.write(b"CREATOR=Vantrel 1.0\r\nYOURNAME=\r\nYOUREMAIL=\r\nEMAIL1=\r\nEMAIL2=\r\nLOGFILE=\r\n"
                    b"ERRORSOUND=\r\nNOTIFY=\r\nINTERVAL=5\r\nSMTPSERVER=\r\nTOOLTIPS=yes\r\nMONITOR=yes\r\n"
                    b"EVERYERROR=\r\n\r\n")
        with open(os.path.join(work, "vantrel-extra.ini"), "wb") as f:
            f.write(b"CREATOR=Vantrel 1.0\r\nMETRICS=%d\r\n\r\n" % port)
        record = "ST=%s\r\nURL=%s\r\nTESTSTRING=Welcome\r\nCREATE=01 Dec 2026\r\nCHECK=\r\nURLEMAIL=\r\nACTION=Sound\r\nSTATUS=New\r\n"
        with open(os.path.join(work, "vantrel.dat"), "wb") as f:
            f.write(("CREATOR=Vantrel 1.0\r\n" + record % ("Shop \"main\"", good) + record % ("Gone", refused)).encode())

        env = fasttime.environment(os.environ, 100)
        env["ASAN_OPTIONS"] = (env.get("ASAN_OPTIONS", "") + ":verify_asan_link_order=0").lstrip(":")
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"):
            env.pop(name, None)
        output = open(os.path.join(work, "output.txt"), "wb")
        proc = subprocess.Popen([exe], cwd=work, env=env, stdout=output, stderr=subprocess.STDOUT)

        start = time.time()
        while time.time() - start < DEADLINE and proc.poll() is None:
            try:
                status, ctype, text = get(port, "/metrics")
                if re.search(r'vantrel_site_checks_total\{title="Gone",url="[^"]+"\} [1-9]', text):
                    break
            except OSError:
                pass
            time.sleep(0.3)
        else:
            failures.append("no checks of both sites in the metrics within %d s" % DEADLINE)

        if text:
            if ctype != "text/plain; version=0.0.4; charset=utf-8":
                failures.append("content type %r" % ctype)
            shop = 'title="Shop \\"main\\"",url="%s"' % good
            gone = 'title="Gone",url="%s"' % refused
            for sample in ("vantrel_monitoring 1", "vantrel_sites 2", "vantrel_history_available 1",
                           "vantrel_site_up{%s} 1" % shop, "vantrel_site_up{%s} 0" % gone,
                           "vantrel_site_http_status{%s} 200" % shop, "vantrel_site_uptime_ratio{%s} 1" % shop,
                           "vantrel_site_uptime_ratio{%s} 0" % gone):
                if not re.search("^" + re.escape(sample) + "$", text, re.M):
                    failures.append("no sample %r" % sample)
            if not re.search(r"^vantrel_site_response_seconds\{%s\} [0-9.e-]+$" % re.escape(shop), text, re.M):
                failures.append("no response time of the good site")
            if "# TYPE vantrel_site_checks_total counter" not in text:
                failures.append("no TYPE line for the check counter")
        try:
            if get(port, "/")[0] != 404:
                failures.append("/ is not a 404")
        except OSError as e:
            failures.append("second request failed: %s" % e)
        if not os.path.exists(os.path.join(work, "vantrel-history.db")):
            failures.append("no vantrel-history.db beside the data files")

        fasttime.terminate(proc, failures)
        output.close()
        return fasttime.verdict(failures, "metrics:\n" + text + "\nprogram output:\n" +
                                open(os.path.join(work, "output.txt"), "rb").read().decode("latin-1"))
    finally:
        if proc and proc.poll() is None:
            proc.kill()
        web.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
