#!/usr/bin/python3
"""The job report's mail, sent by the Windows build under Wine to a real aiosmtpd on 127.0.0.1:
AUTH LOGIN with an attachment that arrives byte for byte, no AUTH without an account, addresses
with display names (the envelope takes the address, the headers the whole text), a refused
login, a job log too large to hold, a server that drops the line during DATA, no listener at
all, and the test mail.
Usage: mail_peers.py MAILDRV WINE_RUN"""

import email
import email.policy
import os
import random
import socket
import subprocess
import sys
import tempfile
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

maildrv, wine_run = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Inbox:
    def __init__(self):
        self.mails = []
        self.senders = []
        self.logins = []

    async def handle_DATA(self, server, session, envelope):
        self.mails.append((list(envelope.rcpt_tos), envelope.original_content, session.authenticated))
        self.senders.append(envelope.mail_from)
        return "250 OK"

    def authenticate(self, server, session, envelope, mechanism, auth_data):
        if isinstance(auth_data, LoginPassword):
            self.logins.append((mechanism, auth_data.login, auth_data.password))
            if auth_data.login == b"backup" and auth_data.password == b"s3cret":
                return AuthResult(success=True)
        # A plain failure answer: without it the client would wait for a reply.
        return AuthResult(success=False, handled=False)


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def run(*args):
    done = subprocess.run([wine_run, maildrv] + list(args), capture_output=True, timeout=240)
    return done.returncode, done.stdout.decode("cp1252", "replace")


def save(ini, to, subject, port, account, password, sender="tarnwick@example.org"):
    code, _ = run(winpath(ini), "save", to, sender, subject, "127.0.0.1", str(port), account, password)
    check(code == 0, "settings saved")


def drop_during_data_server(port, ready):
    """Answers like a server until DATA's go-ahead, takes a little of the text, then hangs up."""
    with socket.socket() as listener:
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(("127.0.0.1", port))
        listener.listen(1)
        listener.settimeout(120)
        ready.set()
        conn, _ = listener.accept()
        with conn:
            conn.settimeout(60)
            conn.sendall(b"220 ready\r\n")
            buffered = b""
            while True:
                chunk = conn.recv(4096)
                if not chunk:
                    return
                buffered += chunk
                while b"\r\n" in buffered:
                    line, buffered = buffered.split(b"\r\n", 1)
                    verb = line[:4].upper()
                    if verb in (b"EHLO", b"HELO"):
                        conn.sendall(b"250 here\r\n")
                    elif verb == b"DATA":
                        conn.sendall(b"354 go ahead\r\n")
                        conn.recv(64)
                        return  # the line drops in the middle of the message
                    else:
                        conn.sendall(b"250 OK\r\n")


with tempfile.TemporaryDirectory() as folder:
    inbox = Inbox()
    port = free_port()
    controller = Controller(inbox, hostname="127.0.0.1", port=port, authenticator=inbox.authenticate,
                            auth_require_tls=False)
    controller.start()
    try:
        ini = os.path.join(folder, "tarnwick.ini")
        log = os.path.join(folder, "Daily_100.txt")
        attachment = bytes(random.Random(7).randrange(256) for _ in range(70000)) + b"end\r\n"
        with open(log, "wb") as f:
            f.write(attachment)
        body_lines = ["Backup started: Daily.dat", "Fichier saut\xe9: C:\\Donn\xe9es\\R\xe9sum\xe9.doc",
                      ".a line that begins with a dot", "x" * 200 + " =", "trailing blank "]
        body = os.path.join(folder, "body.txt")
        with open(body, "wb") as f:
            f.write("\r\n".join(body_lines).encode("cp1252") + b"\r\n")

        # AUTH LOGIN, three recipients split at "," and ";", the log attached.
        save(ini, "ops@example.org; boss@example.org,third@example.org", "Nightly", port, "backup", "s3cret")
        code, out = run(winpath(ini), "send", "Daily.dat", winpath(log), winpath(body))
        check(code == 0, "mail with AUTH LOGIN sent: " + out)
        check(inbox.logins and inbox.logins[-1][0] == "LOGIN", "AUTH LOGIN used: %r" % inbox.logins)
        check(len(inbox.mails) == 1, "one mail arrived")
        if inbox.mails:
            rcpt, content, authenticated = inbox.mails[-1]
            check(rcpt == ["ops@example.org", "boss@example.org", "third@example.org"], "recipients %r" % rcpt)
            check(authenticated, "the session was authenticated")
            message = email.message_from_bytes(content, policy=email.policy.default)
            check(message["Subject"] == "Nightly - Daily.dat", "subject %r" % message["Subject"])
            check(message["Date"] is not None and message["Date"].datetime is not None, "a readable Date")
            parts = list(message.iter_parts())
            check(len(parts) == 2, "text and attachment")
            if len(parts) == 2:
                text = parts[0]
                check(text.get_content_charset() == "windows-1252", "charset %r" % text.get_content_charset())
                got = text.get_payload(decode=True).decode("cp1252").split("\r\n")
                check(got[:len(body_lines)] == body_lines, "body lines %r" % got)
                check(parts[1].get_filename() == "Daily_100.txt", "attachment name")
                check(parts[1].get_payload(decode=True) == attachment, "attachment byte for byte")

        # No account: no AUTH even with a password stored; a subject beyond ASCII arrives intact.
        logins = len(inbox.logins)
        save(ini, "ops@example.org", "Nuit \xe9t\xe9", port, "", "s3cret")
        code, out = run(winpath(ini), "send", "Daily.dat", winpath(os.path.join(folder, "missing.txt")), winpath(body))
        check(code == 0, "mail without AUTH sent: " + out)
        check(len(inbox.logins) == logins, "no AUTH attempted")
        if len(inbox.mails) == 2:
            _, content, authenticated = inbox.mails[-1]
            check(not authenticated, "not authenticated")
            message = email.message_from_bytes(content, policy=email.policy.default)
            check(message["Subject"] == "Nuit \xe9t\xe9 - Daily.dat", "encoded subject %r" % message["Subject"])
            check(not message.is_multipart(), "a missing attachment file leaves the mail without it")

        # Display names: the server is given the bare addresses, the headers keep the names
        # (encoded where they are not ASCII).
        save(ini, "Backup Operators <ops@example.org>; B\xf6rje \xc5berg <boss@example.org>, "
                  "\"Night, Ops\" <third@example.org>", "Nightly", port, "", "",
             sender="Tarnwick Backup <tarnwick@example.org>")
        code, out = run(winpath(ini), "send", "Daily.dat", winpath(log), winpath(body))
        check(code == 0, "mail to display names sent: " + out)
        check(len(inbox.mails) == 3, "the mail to display names arrived")
        if len(inbox.mails) == 3:
            rcpt, content, _ = inbox.mails[-1]
            check(rcpt == ["ops@example.org", "boss@example.org", "third@example.org"],
                  "envelope recipients %r" % rcpt)
            check(inbox.senders[-1] == "tarnwick@example.org", "envelope sender %r" % inbox.senders[-1])
            message = email.message_from_bytes(content, policy=email.policy.default)
            check(str(message["From"]) == "Tarnwick Backup <tarnwick@example.org>", "From %r" % str(message["From"]))
            to = [(a.display_name, a.addr_spec) for a in message["To"].addresses]
            check(to == [("Backup Operators", "ops@example.org"), ("B\xf6rje \xc5berg", "boss@example.org"),
                         ("Night, Ops", "third@example.org")], "To %r" % to)

        # A refused login: nothing arrives, the program log says why, the caller goes on.
        save(ini, "ops@example.org", "Nightly", port, "backup", "wrong")
        code, out = run(winpath(ini), "send", "Daily.dat", winpath(log), winpath(body))
        check(code == 3 and "log: Mail not sent: " in out, "refused login logged: " + out)
        check(len(inbox.mails) == 3, "nothing arrived after a refused login")

        # A job log too large to hold in memory: the mail fails with its line, the caller goes on.
        huge = os.path.join(folder, "Huge_100.txt")
        with open(huge, "wb") as f:
            f.truncate(1_900_000_000)
        save(ini, "ops@example.org", "Nightly", port, "", "")
        code, out = run(winpath(ini), "send", "Daily.dat", winpath(huge), winpath(body))
        os.remove(huge)
        check(code == 3 and "log: Mail not sent: " in out, "a log too large logged: %d %s" % (code, out))
        check(len(inbox.mails) == 3, "nothing arrived with a log too large")

        # The test mail.
        save(ini, "ops@example.org", "Nightly", port, "backup", "s3cret")
        code, out = run(winpath(ini), "test")
        check(code == 0, "test mail: " + out)
        check(len(inbox.mails) == 4, "the test mail arrived")
        if len(inbox.mails) == 4:
            message = email.message_from_bytes(inbox.mails[-1][1], policy=email.policy.default)
            check(message["Subject"] == "Nightly - Test mail", "test subject %r" % message["Subject"])
            check(message.get_content().strip() == "This is a test mail send from Tarnwick", "test body")
    finally:
        controller.stop()

    # A server that drops the line during DATA, and no listener at all.
    dropping = free_port()
    ready = threading.Event()
    server = threading.Thread(target=drop_during_data_server, args=(dropping, ready), daemon=True)
    server.start()
    ready.wait(30)
    save(ini, "ops@example.org", "Nightly", dropping, "", "")
    code, out = run(winpath(ini), "send", "Daily.dat", winpath(log), winpath(body))
    check(code == 3 and "log: Mail not sent: " in out, "drop during DATA logged: " + out)
    server.join(60)

    save(ini, "ops@example.org", "Nightly", free_port(), "", "")
    code, out = run(winpath(ini), "send", "Daily.dat", winpath(log), winpath(body))
    check(code == 3 and "log: Mail not sent: " in out, "no listener logged: " + out)

print("%d failed" % len(failures))
sys.exit(1 if failures else 0)
