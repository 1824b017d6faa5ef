#!/usr/bin/python3
"""`tarnwick.exe /H /=X.dat` under Wine: a mixed tree with the catalogue token to a folder in
4 MiB volumes, verified after each. Three or more volumes; each passes unzip -t and 7z t;
extracted together they are the tree, every file once; the last volume ends with the
catalogue list and the job's log; the logs tell each volume; the mail at aiosmtpd carries the
job log; the program ends by itself.
Usage: run_folder.py TARNWICK_EXE SCRIPTDRV_EXE RERUN_EXE WINE_RUN"""

import email
import email.policy
import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runsupport as rs  # noqa: E402

program_file, scriptdrv, _, wine_run = sys.argv[1:5]
check = rs.Checks()

with tempfile.TemporaryDirectory(prefix="tw_runfolder.") as folder, rs.MailServer() as mail:
    program = rs.Program(folder, program_file, scriptdrv, wine_run,
                         {"EMail": "To=ops@example.org\nFrom=tarnwick@example.org\nSubject=Nightly\n"
                                   "SMTPServer=127.0.0.1\nSMTPPort=%d" % mail.port})
    source = os.path.join(folder, "source")
    rs.mixed_tree(source, seed=17)
    dest = os.path.join(folder, "dest")
    program.write_job("X.dat", rs.job_text(rs.winpath(dest), [rs.winpath(source), "%CATALOG%"],
                                           size="4", verify=True, catalog=True))
    code = program.run("/H", "/=" + rs.winpath(os.path.join(folder, "X.dat")))
    check(code == 0, "the program ended by itself: %s" % code)

    log = program.log()
    zips = rs.volumes_in(dest) if os.path.isdir(dest) else []
    check(len(zips) >= 3, "three or more volumes: %s" % zips)
    check(log.count("Backup end: X.dat\r\n") == 1, "one end: " + log)
    check("Backup cancelled" not in log and "Backup error" not in log, "no cancel, no error: " + log)
    check(log.count("File created: ") == len(zips), "every volume logged, the last too")
    check(log.count("No errors found in: ") == len(zips), "every volume verified, the last too")
    for name in zips:
        check(os.path.getsize(os.path.join(dest, name)) <= 4 * 1048576, "%s within 4 MiB" % name)

    last = rs.check_volumes(check, dest, zips, source, rs.stored_prefix_of(source))
    check(len(last) >= 2 and last[-2].lower().endswith(".csv") and last[-1].endswith("/X.log"),
          "the last volume ends with the catalogue list and the job's log: %s" % last[-2:])
    work = [n for n in os.listdir(dest) if os.path.splitext(n)[1] in (".zfi", ".tmp", ".~tm", ".~mz")]
    check(not work, "no work files: %s" % work)
    check(not os.path.exists(os.path.join(folder, "tarnwick.run")), "nothing left to resume")

    check(len(mail.inbox.mails) == 1, "one mail: %d" % len(mail.inbox.mails))
    if mail.inbox.mails:
        message = email.message_from_bytes(mail.inbox.mails[0], policy=email.policy.default)
        parts = list(message.iter_parts())
        check(len(parts) == 2, "text and the job log")
        if len(parts) == 2:
            text = parts[0].get_payload(decode=True).decode("cp1252")
            check("Backup end: X.dat" in text and "File created: " in text, "the job's lines: %r" % text)
            attached = os.path.join(folder, "Log", parts[1].get_filename() or "?")
            check(os.path.exists(attached) and parts[1].get_payload(decode=True) == open(attached, "rb").read(),
                  "the job log attached as it is on disk: %s" % parts[1].get_filename())

check.finish()
