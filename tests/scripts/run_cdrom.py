#!/usr/bin/python3
"""Two runs of tarnwick.exe under Wine to a CD drive letter used as a plain drive, with
UseTempFile=1, so every volume is built in the temporary folder and copied to the drive.

1. `/=X.dat` (shown, without /C): every volume copied, the last one too, each verified in the
   temporary folder and again where it landed, no temporary copy left; the volumes pass unzip -t
   and 7z t and hold the tree once; after the job the restart program starts once, without
   parameters, and the program ends.
2. `/H /=S.dat`, "Split large files", 8 MB volumes, a 20 MB file: the drive holds the whole
   split set (S.z01, S.z02, S.zip) that 7z t accepts and that extracts to the file byte for
   byte, and that the Restore tab (through formdrv) restores whole; the temporary folder is
   empty.
Usage: run_cdrom.py TARNWICK_EXE SCRIPTDRV_EXE RERUN_EXE WINE_RUN FORMDRV_EXE"""

import os
import random
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runsupport as rs  # noqa: E402

program_file, scriptdrv, rerun, wine_run, formdrv = sys.argv[1:6]
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
    check(log.count("No errors found in: ") == 2 * len(zips), "every volume verified: " + log)
    check(all(("No errors found in: %s:\\%s" % (letter, name)) in log for name in zips),
          "every volume verified where it landed: " + log)
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

    # The hidden split run.
    for name in os.listdir(cd):
        os.remove(os.path.join(cd, name))
    with open(os.path.join(folder, "tarnwick.log"), "wb"):
        pass
    split_source = os.path.join(folder, "split")
    os.makedirs(split_source)
    with open(os.path.join(split_source, "disk.img"), "wb") as f:
        f.write(random.Random(20).randbytes(20_000_000))
    letter = program.drive("cdrom", cd)
    check(letter is not None, "a drive letter for the split run")
    if letter is not None:
        try:
            program.write_job("S.dat", rs.job_text(letter + ":\\", [rs.winpath(split_source)], size="8", level="0",
                                                   verify=True, split=True, zip_name="S"))
            code = program.run("/H", "/=" + rs.winpath(os.path.join(folder, "S.dat")))
            check(code == 0, "the hidden split run ended by itself: %s" % code)
        finally:
            program.tool("remove", letter)
        log = program.log()
        names = sorted(os.listdir(cd))
        print("split run: %s" % names)
        check(log.count("Backup end: S.dat\r\n") == 1 and "Backup cancelled" not in log, "one good end: " + log)
        check(names == ["S001.z01", "S001.z02", "S001.zip"], "the whole set on the drive: %s" % names)
        check(not os.listdir(temp), "nothing left in the temporary folder: %s" % os.listdir(temp))
        check("No errors found in: %s:\\S001.*" % letter in log, "the set verified where it landed: " + log)
        if "S001.zip" in names:
            tested = subprocess.run(["7z", "t", os.path.join(cd, "S001.zip")], stdout=subprocess.PIPE,
                                    stderr=subprocess.STDOUT)
            check(tested.returncode == 0, "7z t of the set: %s" % tested.stdout.decode(errors="replace")[-600:])
            with tempfile.TemporaryDirectory() as out:
                subprocess.run(["7z", "x", "-y", "-o" + out, os.path.join(cd, "S001.zip")],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                extracted = rs.tree_files(os.path.join(out, rs.stored_prefix_of(split_source)))
            check(extracted == rs.tree_files(split_source), "the set extracts to the file byte for byte")
            # The Restore tab, as a user restores the whole set from where it landed.
            restored = os.path.join(folder, "restored")
            done = subprocess.run([wine_run, formdrv, "--as", rs.winpath(program.exe), "restore",
                                   rs.winpath(os.path.join(cd, "S001.zip")), rs.winpath(restored), "--mode", "always"],
                                  cwd=folder, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL, timeout=300)
            said = done.stdout.decode("cp1252", "replace").replace("\r", "").strip()
            check(said.endswith("files restored.") and "exception" not in said, "the Restore tab restored: " + said)
            check(rs.tree_files(os.path.join(restored, rs.stored_prefix_of(split_source))) == rs.tree_files(split_source),
                  "the Restore tab restores the set whole")

check.finish()
