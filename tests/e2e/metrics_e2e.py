#!/usr/bin/env python3
"""The real program, headless, with METRICS set to a bare loopback port: it
serves its state and counters as Prometheus text at /metrics on 127.0.0.1.
One site is on a loopback HTTP server and answers, one is on a refused port.
Time runs 100 times faster under libfaketime, so passes come within seconds;
the test fetches /metrics until both sites were checked, reads the samples,
checks that another path gets a 404 and that the history file lies beside
the data files, and ends the program with SIGTERM."""
import os
import re
import shutil
import sys
import tempfile
import time

import fasttime
import fixture

DEADLINE = 60  # seconds of real time for the checks to show up


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped():
        return 0
    web, base = fixture.serve(fixture.WelcomePage)
    good = base + "/good"
    refused = "http://127.0.0.1:%d/" % fasttime.free_port()
    port = fasttime.free_port()

    work = tempfile.mkdtemp(prefix="vantrel-metrics-")
    proc = None
    failures = []
    text = ""
    try:
        fixture.write_folder(work, fixture.settings(), [fixture.site("Shop \"main\"", good, status="New"),
                                                        fixture.site("Gone", refused, status="New")])
        with open(os.path.join(work, "vantrel-extra.ini"), "wb") as f:
            f.write(b"CREATOR=Vantrel 1.0\r\nMETRICS=%d\r\n\r\n" % port)
        proc = fasttime.start_headless([exe], work, 100)

        start = time.time()
        while time.time() - start < DEADLINE and proc.poll() is None:
            try:
                status, ctype, text = fixture.fetch(port, "/metrics")
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
            if fixture.fetch(port, "/")[0] != 404:
                failures.append("/ is not a 404")
        except OSError as e:
            failures.append("second request failed: %s" % e)
        if not os.path.exists(os.path.join(work, "vantrel-history.db")):
            failures.append("no vantrel-history.db beside the data files")

        fasttime.terminate(proc, failures)
        return fasttime.verdict(failures, "metrics:\n" + text + "\nprogram output:\n" + fasttime.output(work))
    finally:
        fasttime.kill(proc)
        web.shutdown()
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
