#!/usr/bin/env python3
"""The real program, headless, mails through a real Postfix with Dovecot's
login on loopback (see mailserver.py): once over the submission port with
STARTTLS, once over the port that speaks TLS from the first byte, and once
with a wrong password.

Time runs 100 times faster under libfaketime. The one site's port refuses at
first, so the first pass finds it down and mails an error report; then a page
comes up on that port and the next pass mails a recovery report. Postfix
refuses commands sent ahead of their replies. The TLS run goes through a
relay of the test's own that sees the bytes in the clear: every line ends in
CR LF, none is above 998 characters. Each delivered message is read from the
Maildir and checked strictly: Python's email parser with policy.strict, then
header by header (one Date, with weekday and zone; one From, with the name
as RFC 2047 words; one Message-ID of our own; MIME headers; folding; no line
above 998 characters). The wrong password must put the server's reason
("535 5.7.8 ...") on standard error and deliver nothing."""
import email
import email.policy
import http.server
import os
import re
import shutil
import signal
import sys
import tempfile
import threading
import time

import fasttime
import fixture
import mailserver

DEADLINE = 40  # seconds of real time for each step of a run
USER = "ops@example.test"
NAME = "Zoë Ops"
PASSWORD = "s3cret pass"
TRACE = ("Return-Path", "X-Original-To", "Delivered-To", "Received")
DATE = re.compile(r"^(Mon|Tue|Wed|Thu|Fri|Sat|Sun), \d{1,2} (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                  r"\d{4} \d\d:\d\d:\d\d [+-]\d{4}$")


def header_problems(raw):
    """What keeps a delivered message from being a strict RFC 5322 one with
    the MIME headers a provider wants; Postfix's own trace lines above it
    are left out."""
    problems = []
    text = raw.decode("ascii", "replace")
    if "\r" in text:
        problems.append("a CR is left in the stored message")
    head, _, body = text.partition("\n\n")
    lines = head.split("\n")
    for n, line in enumerate(lines):
        if len(line) > 998:
            problems.append("header line %d is %d characters long" % (n, len(line)))
        if n == 0 and line[:1] in (" ", "\t"):
            problems.append("the header begins with a continuation line")
        if line[:1] not in (" ", "\t") and not re.match(r"^[!-9;-~]+:", line):
            problems.append("not a header field: %r" % line)
    if any(ord(c) > 127 for c in head) or "\ufffd" in head:
        problems.append("8-bit bytes in the header")
    if any(len(line) > 998 for line in body.split("\n")):
        problems.append("a body line above 998 characters")
    try:
        message = email.message_from_bytes(raw, policy=email.policy.strict)
    except Exception as e:  # the strict policy raises on the first defect
        return problems + ["the strict parser refused it: %s" % e]
    names = [k.lower() for k in message.keys() if k not in TRACE]
    for name in ("date", "from", "to", "subject", "message-id", "mime-version", "content-type"):
        if names.count(name) != 1:
            problems.append("%d %s fields" % (names.count(name), name))
    for name in set(names):
        for value in message.get_all(name, []):
            if getattr(value, "defects", None):
                problems.append("%s: %r" % (name, value.defects))
    # As sent: the parsed value would be the date written anew.
    dates = re.findall(r"^Date:[ \t]*(.*)$", head, re.M | re.I)
    if not dates or not DATE.match(dates[0].strip()):
        problems.append("Date %r has no weekday or no zone" % dates)
    sender = message["from"]
    if sender is None or len(sender.addresses) != 1 or sender.addresses[0].addr_spec != USER or \
            sender.addresses[0].display_name != NAME:
        problems.append("From %r" % sender)
    if str(message["mime-version"]) != "1.0" or message.get_content_type() != "text/plain" or \
            message.get_content_charset() != "utf-8":
        problems.append("MIME headers %r %r" % (message["mime-version"], message["content-type"]))
    if "@mail.example.test" in str(message["message-id"]):
        problems.append("the Message-ID is the server's, not ours")
    return problems


def wire_problems(sent):
    """What the program sent over TLS, as the relay saw it: every line ends
    in CR LF, with no bare CR or LF, and none is longer than 998 characters."""
    if b"AUTH " not in sent or b"\r\nDATA\r\n" not in sent:
        return ["the dialogue did not go through the relay: %r" % sent[:200]]
    problems = []
    if sent.replace(b"\r\n", b"").count(b"\n") or sent.replace(b"\r\n", b"").count(b"\r"):
        problems.append("a bare CR or LF went over the wire")
    if any(len(line) > 998 for line in sent.split(b"\r\n")):
        problems.append("a line above 998 characters went over the wire")
    return problems


def write_files(work, smtp, security, password):
    site_port = fasttime.free_port()
    fixture.write_folder(work, fixture.settings(YOURNAME=NAME, YOUREMAIL=USER, EMAIL1=USER, NOTIFY="On Change",
                                                SMTPSERVER=smtp, EVERYERROR="no"),
                         [fixture.site("Shop", "http://127.0.0.1:%d/" % site_port, action="Email")])
    secret = os.path.join(work, "mail-password")
    with open(secret, "w") as f:
        f.write(password + "\n")
    os.chmod(secret, 0o600)
    with open(os.path.join(work, "vantrel-extra.ini"), "wb") as f:
        f.write(("CREATOR=Vantrel 1.0\r\nMAILSECURITY=%s\r\nMAILUSER=%s\r\nMAILPASSWORDFILE=%s\r\n\r\n"
                 % (security, USER, secret)).encode())
    return site_port


def wait(condition):
    start = time.time()
    while time.time() - start < DEADLINE and not condition():
        time.sleep(0.2)
    return condition()


def run_case(exe, server, name, security, port, password, failures):
    """One run of the program against `server`; returns its output."""
    work = tempfile.mkdtemp(prefix="vantrel-mailserver-")
    proc = page = None
    before = len(server.messages())
    try:
        site_port = write_files(work, "127.0.0.1:%d" % port, security, password)
        proc = fasttime.start_headless([exe], work, 100, {"SSL_CERT_FILE": server.cert})

        def said(text):
            return text in fasttime.output(work)

        new = lambda: server.messages()[before:]
        if password == PASSWORD:
            if not wait(lambda: len(new()) >= 1 or proc.poll() is not None):
                failures.append("%s: no error report delivered" % name)
            page = http.server.ThreadingHTTPServer(("127.0.0.1", site_port), fixture.WelcomePage)
            threading.Thread(target=page.serve_forever, daemon=True).start()
            if not wait(lambda: len(new()) >= 2 or proc.poll() is not None):
                failures.append("%s: no recovery report delivered" % name)
        elif not wait(lambda: said("535 5.7.8") or proc.poll() is not None):
            failures.append("%s: the server's reason (535 5.7.8) is not on standard error" % name)
        fasttime.terminate(proc, failures)
        messages = new()
        subjects = sorted(str(email.message_from_bytes(m, policy=email.policy.default)["subject"])
                          for m in messages)
        expected = ["Vantrel Error Report", "Vantrel Recovery Report"] if password == PASSWORD else []
        if subjects != expected:
            failures.append("%s: delivered %r" % (name, subjects))
        for m in messages:
            failures.extend("%s: %s" % (name, p) for p in header_problems(m))
        if password != PASSWORD and not said("Mail failed "):
            failures.append("%s: no \"Mail failed\" line" % name)
        return "--- %s\n%s" % (name, fasttime.output(work))
    finally:
        fasttime.kill(proc)
        if page:
            page.shutdown()
            page.server_close()
        shutil.rmtree(work, ignore_errors=True)


def main():
    exe = os.path.abspath(sys.argv[1])
    if fasttime.skipped():
        return 0
    reason = mailserver.missing()
    if reason:
        print("SKIP: no mail server for this test: %s" % reason)
        return 0
    # Ended from outside (a test runner's timeout): the daemons are stopped all the same.
    signal.signal(signal.SIGTERM, lambda *args: sys.exit(1))
    root = tempfile.mkdtemp(prefix="vantrel-mailroot-")
    server = mailserver.MailServer(root, USER, PASSWORD)
    failures = []
    outputs = ""
    try:
        server.start()
        relay = mailserver.TlsRelay(server)
        cases = [
            ("submission with STARTTLS", "starttls", server.submission_port, PASSWORD),
            ("TLS from the first byte", "tls", relay.port, PASSWORD),
            ("a wrong password", "starttls", server.submission_port, "not the password"),
        ]
        for name, security, port, password in cases:
            outputs += run_case(exe, server, name, security, port, password, failures)
        relay.stop()
        failures.extend(wire_problems(bytes(relay.sent)))
        return fasttime.verdict(failures, outputs + server.logs())
    except (RuntimeError, OSError) as e:
        return fasttime.verdict(["the mail server did not start: %s" % e], server.logs())
    finally:
        server.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
