#!/usr/bin/python3
"""`tarnwick.exe /=X.dat` (shown, without /C) under Wine to a CD drive letter used as a plain
drive, with UseTempFile=1: every volume is built in the temporary folder and copied to the
drive, the last one too, and no temporary copy is left; the volumes pass unzip -t and 7z t and
hold the tree once; after the job the restart program starts once, without parameters, and
the program ends.
Usage: run_cdrom.py TARNWICK_EXE SCRIPTDRV_EXE RERUN_EXE WINE_RUN"""

import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runsupport as rs  # noqa: E402

program_file, scriptdrv, rerun, wine_run = sys.argv[1:5]
check = rs.Checks()

with tempfile.TemporaryDirectory(prefix="tw_runcdrom.") as folder:
    temp = os.path.join(folder, "temp")
    cd = os.path.join(folder, "cd")
    os.makedirs(temp)
    os.makedirs(cd)
    program = rs.Program(folder, program_file, scriptdrv, wine_run,
                         {"Settings": "UseTempFile=1", "Files": "TempPath=%s\\" % rs.winpath(temp)})
    shutil.copy(rerun, os.path.join(folder, "TarnwickReRun.exe"))
    letter = program.drive("cdrom", cd)
    if letter is None:
        print("note: no drive letter could be defined")
        sys.exit(77)
    try:
        source = os.path.join(folder, "source")
        rs.mixed_tree(source, seed=5, random_files=5, notes=2)
        program.write_job("X.dat", rs.job_text(letter + ":\\", [rs.winpath(source)], size="6", verify=True))
        code = program.run("/=" + rs.winpath(os.path.join(folder, "X.dat")))
        check(code == 0, "the program ended by itself: %s" % code)
    finally:
        program.tool("remove", letter)

    log = program.log()
    zips = rs.volumes_in(cd)
    check(len(zips) >= 2, "two or more volumes on the drive: %s" % zips)
    print("volumes: %s" % zips)
    check(log.count("Backup end: X.dat\r\n") == 1 and "Backup cancelled" not in log, "one good end: " + log)
    check(log.count("No errors found in: ") == len(zips), "every volume verified")
    check(all(("\\temp\\" + name) in log for name in zips), "every volume built in the temporary folder: " + log)
    left = os.listdir(temp)
    check(not left, "no temporary copy or work file left: %s" % left)
    rs.check_volumes(check, cd, zips, source, rs.stored_prefix_of(source))

    record = os.path.join(folder, "TarnwickReRun.txt")
    starts = open(record, "rb").read().decode("cp1252").splitlines() if os.path.exists(record) else []
    check(len(starts) == 1, "the restart program started once: %s" % starts)
    if starts:
        fields = starts[0].split("\t")
        check(fields[-1] == "args ", "without parameters: %r" % fields[-1])
        check(fields[1] == "show 0", "hidden: %r" % fields[1])

check.finish()
