#!/usr/bin/python3
"""A whole unattended run of the program file under Wine with a real aiosmtpd on 127.0.0.1:
`tarnwick.exe /H /=X.dat` runs the program before the job, selects, and at the job's end mails
the job's lines with the job log attached, waits, runs the program after the job, and the
program ends; one mail and one program after the job per run.
Usage: job_end_peer.py TARNWICK_EXE CMDMARKER_EXE WINE_RUN"""

import email
import email.policy
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from aiosmtpd.controller import Controller

program, marker, wine_run = sys.argv[1], sys.argv[2], sys.argv[3]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED: " + what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def winpath(path):
    return "Z:" + path.replace("/", "\\")


class Inbox:
    def __init__(self):
        self.mails = []

    async def handle_DATA(self, server, session, envelope):
        self.mails.append((time.time(), envelope.original_content))
        return "250 OK"


def job_text(destination, source, pre, post):
    lines = [destination, "0", "0", "46000.5", "0", "X", "6", "650", "0", "0", "#####",
             "0", "0", "0", "0", "0", "1", "1", "0", "0", "0", "0", "", "0", "0",
             "1", pre, "1", post, "*-Include-*", source, "*-Exclude-*"]
    return "".join(line + "\r\n" for line in lines)


with tempfile.TemporaryDirectory() as folder:
    inbox = Inbox()
    port = free_port()
    controller = Controller(inbox, hostname="127.0.0.1", port=port)
    controller.start()
    try:
        shutil.copy(program, os.path.join(folder, "tarnwick.exe"))
        shutil.copy(marker, os.path.join(folder, "marker.exe"))
        os.makedirs(os.path.join(folder, "source"))
        with open(os.path.join(folder, "source", "a.txt"), "wb") as f:
            f.write(b"some bytes")
        with open(os.path.join(folder, "tarnwick.ini"), "wb") as f:
            f.write(("[Settings]\r\nUseUserData2kXP=0\r\nUseUserData=0\r\n[LastState]\r\ndefault=1\r\n"
                     "[EMail]\r\nTo=ops@example.org\r\nFrom=tarnwick@example.org\r\nSubject=Nightly\r\n"
                     "SMTPServer=127.0.0.1\r\nSMTPPort=%d\r\n" % port).encode())
        marker_exe = winpath(os.path.join(folder, "marker.exe"))
        with open(os.path.join(folder, "X.dat"), "wb") as f:
            f.write(job_text(winpath(os.path.join(folder, "dest")), winpath(os.path.join(folder, "source")) + "\\",
                             '"%s" /pre' % marker_exe, '"%s" /post' % marker_exe).encode())
        done = subprocess.run([wine_run, os.path.join(folder, "tarnwick.exe"), "/H",
                               "/=" + winpath(os.path.join(folder, "X.dat"))], timeout=120)
        check(done.returncode == 0, "the program ended by itself after its job: %d" % done.returncode)
        marks_file = os.path.join(folder, "cmdmarker.txt")
        marks = open(marks_file, "rb").read().decode("cp1252") if os.path.exists(marks_file) else ""
        check(marks.count("/pre") == 1 and marks.count("/post") == 1, "one program before, one after: %r" % marks)
        check(len(inbox.mails) == 1, "one mail per job: %d" % len(inbox.mails))
        if inbox.mails and os.path.exists(marks_file):
            arrived, content = inbox.mails[0]
            check(arrived <= os.path.getmtime(marks_file), "the mail went before the program after the job")
            message = email.message_from_bytes(content, policy=email.policy.default)
            check(message["Subject"] == "Nightly - X.dat", "subject %r" % message["Subject"])
            parts = list(message.iter_parts())
            check(len(parts) == 2, "text and attachment")
            if len(parts) == 2:
                text = parts[0].get_payload(decode=True).decode("cp1252")
                check("Backup started: X.dat" in text, "the job's lines: %r" % text)
                check(parts[1].get_filename() == "X_100.txt", "attachment %r" % parts[1].get_filename())
                log = open(os.path.join(folder, "Log", "X_100.txt"), "rb").read()
                check(parts[1].get_payload(decode=True) == log, "the job log attached as it is on disk")
    finally:
        controller.stop()

if failures:
    print("%d failed" % len(failures))
    sys.exit(1)
print("ok")
