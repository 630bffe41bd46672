#!/usr/bin/env python3
"""A real SMTP server (aiosmtpd) on 127.0.0.1 for the tests that start it.

It stores each message it takes in a Maildir, optionally protects the
connection (STARTTLS offered and required before anything else, or TLS from
the first byte) and requires a login. It runs until SIGTERM.

  smtp_server.py --port N --maildir DIR [--security none|starttls|tls]
                 [--cert PEM --key PEM] [--login USER:PASSWORD]
                 [--mechanisms PLAIN,LOGIN] [--auth-log FILE] [--inject]

--auth-log appends "MECHANISM accepted" or "MECHANISM refused" per login.
--inject sends one more line in the clear right behind the STARTTLS reply,
as a man in the middle would, to see that the client drops it.
"""
import argparse
import asyncio
import signal
import ssl

from aiosmtpd.handlers import Mailbox
from aiosmtpd.smtp import SMTP, AuthResult

MECHANISMS = {"PLAIN", "LOGIN"}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, required=True)
    ap.add_argument("--maildir", required=True)
    ap.add_argument("--security", choices=["none", "starttls", "tls"], default="none")
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ap.add_argument("--login")
    ap.add_argument("--mechanisms", default="PLAIN,LOGIN")
    ap.add_argument("--auth-log")
    ap.add_argument("--inject", action="store_true")
    args = ap.parse_args()

    context = None
    if args.security != "none":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(args.cert, args.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        user, _, password = args.login.partition(":")
        ok = (auth_data.login, auth_data.password) == (user.encode(), password.encode())
        if args.auth_log:
            with open(args.auth_log, "a") as log:
                log.write("%s %s\n" % (mechanism, "accepted" if ok else "refused"))
        return AuthResult(success=True, auth_data=auth_data) if ok else AuthResult(success=False, handled=False)

    class Server(SMTP):
        async def smtp_STARTTLS(self, arg):
            if args.inject:
                push = self.push

                async def push_with_injection(status):
                    self.push = push
                    await push(status + "\r\n250 injected in the clear")

                self.push = push_with_injection
            await super().smtp_STARTTLS(arg)

    options = dict(hostname="mail.test")
    if args.login:
        options.update(authenticator=authenticator, auth_required=True,
                       auth_exclude_mechanism=MECHANISMS - set(args.mechanisms.split(",")),
                       # Over TLS from the first byte aiosmtpd does not see
                       # the protection; the connection has it anyway.
                       auth_require_tls=args.security != "tls")
    if args.security == "starttls":
        options.update(tls_context=context, require_starttls=True)

    loop = asyncio.new_event_loop()
    handler = Mailbox(args.maildir)
    server = loop.run_until_complete(loop.create_server(
        lambda: Server(handler, loop=loop, **options), "127.0.0.1", args.port,
        ssl=context if args.security == "tls" else None))
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.run_forever()
    server.close()


if __name__ == "__main__":
    main()
