"""What an end-to-end script sets around the real program: its folder (the
settings file, the site list, the log the program writes) and the peers on
loopback it checks (pages, a mail server that keeps what it is sent)."""

import http.client
import http.server
import os
import threading

import fasttime

# The settings file's keys in the order the program writes them.
SETTINGS_KEYS = ("YOURNAME", "YOUREMAIL", "EMAIL1", "EMAIL2", "LOGFILE", "ERRORSOUND", "NOTIFY", "INTERVAL",
                 "SMTPSERVER", "TOOLTIPS", "MONITOR", "EVERYERROR")


def settings(**values):
    """A whole settings file as the program writes one: every key in its
    order, empty unless given, monitoring on every five minutes."""
    values = dict({"INTERVAL": "5", "TOOLTIPS": "yes", "MONITOR": "yes"}, **values)
    return ("CREATOR=Vantrel 1.0\r\n" + "".join("%s=%s\r\n" % (k, values.get(k, "")) for k in SETTINGS_KEYS)
            + "\r\n").encode()


def mail_settings(smtp_port, **values):
    """Settings that mail ops@example.test through 127.0.0.1:`smtp_port` on a
    change of state."""
    return settings(**dict({"YOURNAME": "Ops", "YOUREMAIL": "ops@example.test", "EMAIL1": "ops@example.test",
                            "NOTIFY": "On Change", "SMTPSERVER": "127.0.0.1:%d" % smtp_port, "EVERYERROR": "no"},
                           **values))


def site(title, url, test="Welcome", action="Sound", status="OK", error_url=""):
    """One site's record in the list file, never checked yet."""
    return ("ST=%s\r\nURL=%s\r\nTESTSTRING=%s\r\nCREATE=01 Dec 2026\r\nCHECK=\r\nURLEMAIL=%s\r\nACTION=%s\r\n"
            "STATUS=%s\r\n" % (title, url, test, error_url, action, status))


def write_folder(work, ini, records, between=""):
    """Writes the settings file `ini` (bytes) and a list file of `records`
    (bottom row first, `between` each two) into `work`."""
    with open(os.path.join(work, "vantrel.ini"), "wb") as f:
        f.write(ini)
    with open(os.path.join(work, "vantrel.dat"), "wb") as f:
        f.write(("CREATOR=Vantrel 1.0\r\n" + between.join(records)).encode())


def log_lines(work, name="vantrel.log"):
    """The lines of the log the program writes in `work`, empty ones left out."""
    try:
        with open(os.path.join(work, name), "rb") as f:
            return [line for line in f.read().decode("latin-1").split("\r\n") if line]
    except OSError:
        return []


def fetch(port, path, token=None):
    """GET `path` from the program's endpoint at 127.0.0.1:`port` (with a
    bearer `token`); returns the status, the content type and the text."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
    try:
        conn.request("GET", path, headers={"Authorization": "Bearer " + token} if token else {})
        r = conn.getresponse()
        return r.status, r.getheader("Content-Type"), r.read().decode("utf-8")
    finally:
        conn.close()


class Page(http.server.BaseHTTPRequestHandler):
    """A handler that keeps quiet; subclasses answer with `send_page`."""

    def send_page(self, body, status=200, headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *args):
        pass


class WelcomePage(Page):
    """A page that holds "Welcome" at every path."""

    def do_GET(self):
        self.send_page(b"<html>Welcome home</html>")


def serve(handler, server_class=http.server.ThreadingHTTPServer):
    """Serves `handler` on a free loopback port from a thread of its own;
    returns the server (end it with shutdown()) and its base URL."""
    server = server_class(("127.0.0.1", 0), handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, "http://127.0.0.1:%d" % server.server_address[1]


class MailServer:
    """A real SMTP server (aiosmtpd) on a free loopback port that keeps each
    mail as (sender, recipients, text). End it with stop()."""

    def __init__(self):
        from aiosmtpd.controller import Controller
        self.mails = []
        outer = self

        class Store:
            async def handle_DATA(self, server, session, envelope):
                outer.mails.append((envelope.mail_from, list(envelope.rcpt_tos),
                                    envelope.content.decode("latin-1")))
                return "250 OK"

        self.port = fasttime.free_port()
        self.controller = Controller(Store(), hostname="127.0.0.1", port=self.port)
        self.controller.start()

    def texts(self):
        return [text for _, _, text in self.mails]

    def stop(self):
        self.controller.stop()
