"""A real mail server on loopback for the end-to-end tests: Debian's Postfix
with Dovecot's login service, in a folder of the test's own.

Postfix listens on two free loopback ports: a submission port that offers
STARTTLS and requires a login once it is on (the 587 kind), and a port that
speaks TLS from the first byte (the 465 kind). Dovecot only checks the login,
against a password file of the test's own. Mail for example.test is delivered
to a Maildir in the folder. The certificate is a self-signed one the test
makes for 127.0.0.1; a client trusts it through SSL_CERT_FILE.

Both daemons are started as root (Postfix's master must be) and drop to their
own accounts; nothing listens on port 25 or outside 127.0.0.1, and `stop`
ends both through their own controls, then by the PID they wrote."""

import email
import email.policy
import os
import pwd
import select
import shutil
import signal
import socket
import ssl
import subprocess
import tempfile
import threading
import time

DOMAIN = "example.test"
POSTFIX = "/usr/sbin/postfix"
DOVECOT = "/usr/sbin/dovecot"


def missing():
    """Why a mail server cannot run here, or None when it can."""
    for path in (POSTFIX, DOVECOT, "/usr/bin/openssl"):
        if not os.path.exists(path):
            return "%s is not installed (scripts/install-deps.sh installs postfix and dovecot-core)" % path
    if os.geteuid() != 0:
        return "Postfix's master process must be started as root"
    for account in ("postfix", "dovecot", "dovenull", "nobody"):
        try:
            pwd.getpwnam(account)
        except KeyError:
            return "the account %s is missing" % account
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _run(command, timeout=60):
    # Into a file, not a pipe: a daemon's children keep its standard output.
    with tempfile.TemporaryFile() as out:
        code = subprocess.run(command, stdout=out, stderr=subprocess.STDOUT, timeout=timeout).returncode
        out.seek(0)
        text = out.read().decode("latin-1")
    if code != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(command), text))
    return text


class MailServer:
    def __init__(self, root, user, password):
        self.root = root
        self.user = user
        self.password = password
        self.submission_port = free_port()
        self.tls_port = free_port()
        self.cert = os.path.join(root, "cert.pem")
        self.postfix_dir = os.path.join(root, "postfix")
        self.maildir = os.path.join(root, "mail", "maildir")
        self.started = []

    def _write(self, name, text, mode=0o644):
        path = os.path.join(self.root, name)
        with open(path, "w") as f:
            f.write(text)
        os.chmod(path, mode)
        return path

    def _make_certificate(self):
        key = self.key = os.path.join(self.root, "key.pem")
        _run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
              "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout", key, "-out", self.cert])
        os.chmod(key, 0o600)
        return key

    def _configure_dovecot(self):
        run = os.path.join(self.root, "dovecot-run")
        os.makedirs(run, mode=0o755)
        users = self._write("users", "%s:{PLAIN}%s\n" % (self.user, self.password), 0o640)
        shutil.chown(users, group="dovecot")
        self.auth_socket = os.path.join(self.root, "auth")
        # Only the authentication service: no IMAP, no POP3, no mail storage.
        return self._write("dovecot.conf", "\n".join([
            "protocols =",
            "base_dir = %s" % run,
            "state_dir = %s" % run,
            "log_path = %s" % os.path.join(self.root, "dovecot.log"),
            "ssl = no",
            "disable_plaintext_auth = no",
            "auth_mechanisms = plain login",
            "auth_failure_delay = 0",
            "passdb {", "  driver = passwd-file", "  args = scheme=PLAIN %s" % users, "}",
            "userdb {", "  driver = static", "  args = uid=nobody gid=nogroup home=/nonexistent", "}",
            "service auth {",
            "  unix_listener %s {" % self.auth_socket, "    mode = 0660", "    user = postfix",
            "    group = postfix", "  }", "}",
            "service anvil {", "  chroot =", "}",
            "",
        ]))

    def _configure_postfix(self, key):
        etc = os.path.join(self.postfix_dir, "etc")
        spool = os.path.join(self.postfix_dir, "spool")
        data = os.path.join(self.postfix_dir, "data")
        os.makedirs(etc)
        os.makedirs(spool)
        os.makedirs(data)
        shutil.chown(data, user="postfix")
        mail = os.path.dirname(self.maildir)
        os.makedirs(mail)
        shutil.chown(mail, user="nobody")
        nobody = pwd.getpwnam("nobody")
        main = [
            "compatibility_level = 3.6",
            "queue_directory = %s" % spool,
            "data_directory = %s" % data,
            "maillog_file = %s" % os.path.join(self.root, "postfix.log"),
            "maillog_file_prefixes = %s" % self.root,
            "myhostname = mail.%s" % DOMAIN,
            "mydomain = %s" % DOMAIN,
            "myorigin = $mydomain",
            "inet_interfaces = 127.0.0.1",
            "inet_protocols = ipv4",
            "mydestination =",
            "local_transport = error:no local delivery",
            "relay_domains =",
            "relayhost =",
            "default_transport = error:nothing leaves this machine",
            "virtual_mailbox_domains = %s" % DOMAIN,
            "virtual_mailbox_base = %s" % mail,
            "virtual_mailbox_maps = static:maildir/",
            "virtual_uid_maps = static:%d" % nobody.pw_uid,
            "virtual_gid_maps = static:%d" % nobody.pw_gid,
            "virtual_minimum_uid = 1",
            "alias_maps =",
            "alias_database =",
            "smtputf8_enable = no",
            "smtpd_tls_cert_file = %s" % self.cert,
            "smtpd_tls_key_file = %s" % key,
            "smtpd_sasl_type = dovecot",
            "smtpd_sasl_path = %s" % self.auth_socket,
            "smtpd_recipient_restrictions = permit_sasl_authenticated, reject",
            "smtpd_relay_restrictions = permit_sasl_authenticated, reject",
            # Strict about the protocol: a bare LF in a command, or a command
            # sent before the reply to the one before it, is refused.
            "smtpd_forbid_bare_newline = yes",
            "smtpd_forbid_bare_newline_exclusions =",
            "smtpd_forbid_unauth_pipelining = yes",
            # The daemons would otherwise look up 127.0.0.1's name in the DNS.
            "smtpd_peername_lookup = no",
            "disable_dns_lookups = yes",
            "smtp_dns_support_level = disabled",
            "",
        ]
        with open(os.path.join(etc, "main.cf"), "w") as f:
            f.write("\n".join(main))
        # Every service of the stock table, none of them chrooted (the paths
        # are the test's own), and no listener but the two below.
        services = []
        for line in open("/usr/share/postfix/master.cf.dist"):
            fields = line.split()
            if not fields or line[0] in "# \t" or fields[1] == "inet" or fields[-1] == "pipe":
                continue
            fields[4] = "n"
            services.append("  ".join(fields))
        sasl = "-o smtpd_sasl_auth_enable=yes -o smtpd_tls_auth_only=yes"
        services += [
            "127.0.0.1:%d inet n - n - - smtpd -o smtpd_tls_security_level=encrypt %s"
            % (self.submission_port, sasl),
            "127.0.0.1:%d inet n - n - - smtpd -o smtpd_tls_wrappermode=yes %s" % (self.tls_port, sasl),
        ]
        with open(os.path.join(etc, "master.cf"), "w") as f:
            f.write("\n".join(services) + "\n")
        self.postfix_etc = etc

    def start(self):
        """Configures and starts both daemons; raises when either fails."""
        os.chmod(self.root, 0o755)  # the daemons' own accounts reach their folders through it
        key = self._make_certificate()
        conf = self._configure_dovecot()
        self._configure_postfix(key)
        _run([DOVECOT, "-c", conf])
        self.started.append("dovecot")
        self.dovecot_conf = conf
        _run([POSTFIX, "-c", self.postfix_etc, "check"])
        _run([POSTFIX, "-c", self.postfix_etc, "start"])
        self.started.append("postfix")
        self._wait_for_port(self.submission_port)
        self._wait_for_port(self.tls_port)

    def _wait_for_port(self, port, seconds=30):
        deadline = time.time() + seconds
        while time.time() < deadline:
            with socket.socket() as s:
                if s.connect_ex(("127.0.0.1", port)) == 0:
                    return
            time.sleep(0.1)
        raise RuntimeError("nothing listens on 127.0.0.1:%d\n%s" % (port, self.logs()))

    def _pid(self, path):
        try:
            return int(open(path).read().split()[0])
        except (OSError, ValueError, IndexError):
            return None

    def stop(self):
        """Stops what `start` started, bounded; a daemon that does not end on
        its own control is ended by the PID it wrote."""
        pids = [self._pid(os.path.join(self.postfix_dir, "spool", "pid", "master.pid")),
                self._pid(os.path.join(self.root, "dovecot-run", "master.pid"))]
        if "postfix" in self.started:
            subprocess.run([POSTFIX, "-c", self.postfix_etc, "stop"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
        if "dovecot" in self.started:
            subprocess.run([DOVECOT, "-c", self.dovecot_conf, "stop"], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=60)
        self.started = []
        deadline = time.time() + 15
        for pid in pids:
            while pid and time.time() < deadline and os.path.exists("/proc/%d" % pid):
                time.sleep(0.1)
            if pid and os.path.exists("/proc/%d" % pid):
                os.kill(pid, signal.SIGKILL)

    def messages(self):
        """The messages delivered so far, as their bytes, oldest first."""
        found = []
        for sub in ("new", "cur"):
            folder = os.path.join(self.maildir, sub)
            if os.path.isdir(folder):
                found += [os.path.join(folder, name) for name in os.listdir(folder)]
        found.sort(key=os.path.getmtime)
        return [open(path, "rb").read() for path in found]

    def logs(self):
        text = ""
        for name in ("postfix.log", "dovecot.log"):
            path = os.path.join(self.root, name)
            if os.path.exists(path):
                text += "--- %s\n%s" % (name, open(path, "rb").read().decode("latin-1")[-4000:])
        return text


class TlsRelay:
    """Between a client and the server's TLS port: ends the client's TLS
    with the test's certificate, opens its own to the server, and passes the
    bytes both ways, keeping what the client sent in the clear. The server
    stores messages with its own line ends, so only here can a test see the
    ones the client sent."""

    def __init__(self, server):
        self.server = server
        self.sent = bytearray()
        self.lock = threading.Lock()
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(0.5)
        self.port = self.listener.getsockname()[1]
        self.running = True
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        outer = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        outer.load_cert_chain(self.server.cert, self.server.key)
        inner = ssl.create_default_context(cafile=self.server.cert)
        while self.running:
            try:
                client, _ = self.listener.accept()
            except (socket.timeout, OSError):
                continue
            try:
                client.settimeout(30)
                with outer.wrap_socket(client, server_side=True) as a, \
                        inner.wrap_socket(socket.create_connection(("127.0.0.1", self.server.tls_port), 30),
                                          server_hostname="127.0.0.1") as b:
                    self._pass(a, b)
            except (OSError, ssl.SSLError):
                client.close()

    def _pass(self, a, b):
        while self.running:
            ready = [s for s in (a, b) if s.pending()] or select.select([a, b], [], [], 30)[0]
            if not ready:
                return
            for s in ready:
                data = s.recv(65536)
                if not data:
                    return
                (b if s is a else a).sendall(data)
                if s is a:
                    with self.lock:
                        self.sent += data

    def stop(self):
        self.running = False
        self.thread.join(timeout=40)
        self.listener.close()
