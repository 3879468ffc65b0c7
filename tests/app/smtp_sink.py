#!/usr/bin/env python3
"""A local SMTP server for the error-report tests.

Usage: smtp_sink.py PORT OUTFILE USER PASSWORD
Listens on 127.0.0.1:PORT, requires a login with USER and PASSWORD (offered
without TLS), and writes every received message as JSON (login, envelope
sender, recipients, raw content) to OUTFILE. Prints READY once listening and
runs until stdin closes.
"""
import json
import sys

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

port, outfile, user, password = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
logins = []


def authenticator(server, session, envelope, mechanism, auth_data):
    if isinstance(auth_data, LoginPassword):
        login = auth_data.login.decode()
        ok = login == user and auth_data.password.decode() == password
        if ok:
            logins.append(login)
        return AuthResult(success=ok)
    return AuthResult(success=False)


class Sink:
    async def handle_DATA(self, server, session, envelope):
        with open(outfile, "w", encoding="utf-8") as f:
            json.dump({
                "login": logins[-1] if logins else "",
                "mail_from": envelope.mail_from,
                "rcpt_tos": envelope.rcpt_tos,
                "content": envelope.original_content.decode("utf-8", "replace"),
            }, f)
        return "250 OK"


controller = Controller(Sink(), hostname="127.0.0.1", port=port, authenticator=authenticator,
                        auth_required=True, auth_require_tls=False)
controller.start()
print("READY", flush=True)
sys.stdin.read()
controller.stop()
