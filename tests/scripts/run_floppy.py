#!/usr/bin/python3
"""`tarnwick.exe /C /=X.dat` (shown) under Wine to a removable drive over a 40 MiB tmpfs that the
first volume fills: the program asks once for room, the medium is swapped for a second one
and OK clicked (scriptdrv), the job goes on and ends; each medium holds volumes that verify
(unzip -t, 7z t) and together they hold the tree once.
Usage: run_floppy.py TARNWICK_EXE SCRIPTDRV_EXE RERUN_EXE WINE_RUN"""

import os
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runsupport as rs  # noqa: E402

program_file, scriptdrv, _, wine_run = sys.argv[1:5]
check = rs.Checks()

with tempfile.TemporaryDirectory(prefix="tw_runfloppy.") as folder:
    media = [os.path.join(folder, "medium1"), os.path.join(folder, "medium2")]
    mounted = [m for m in media if rs.mount_tmpfs(m, "40m")]
    try:
        if len(mounted) < 2:
            print("note: tmpfs cannot be mounted here")
            sys.exit(77)
        program = rs.Program(folder, program_file, scriptdrv, wine_run)
        letter = program.drive("removable", media[0])
        if letter is None:
            print("note: no drive letter could be defined")
            sys.exit(77)
        try:
            source = os.path.join(folder, "source")
            # More than a medium holds, and no compression to help.
            rs.mixed_tree(source, seed=11, random_files=5, random_size=10000000, notes=1)
            program.write_job("X.dat", rs.job_text(letter + ":\\", [rs.winpath(source)], size="650", verify=True,
                                                   zip_name="X"))
            run = program.start("/C", "/=" + rs.winpath(os.path.join(folder, "X.dat")))
            # The medium is swapped while the box waits, then OK goes on.
            asked = program.box("none", 90000)
            check(asked is not None and "Not enough free disk space for the next files in" in asked,
                  "one prompt for room: %s" % asked)
            if asked is not None:
                check(program.tool("insert", letter, "removable", media[1]) == "ok", "the medium swapped")
                program.box("ok", 10000)
                check(program.box("ok", 25000) is None, "no second prompt")
            try:
                code = run.wait(timeout=120)
            except Exception:
                run.kill()
                code = None
            check(code == 0, "the program ended by itself: %s" % code)
        finally:
            program.tool("remove", letter)

        log = program.log()
        check(log.count("Backup end: X.dat\r\n") == 1 and "Backup cancelled" not in log, "one good end: " + log)
        first, second = rs.volumes_in(media[0]), rs.volumes_in(media[1])
        print("medium 1: %s, medium 2: %s" % (first, second))
        check(len(first) >= 1 and len(second) >= 1, "volumes on both media")
        # Both media's volumes in one folder view for the tree check.
        with tempfile.TemporaryDirectory() as both:
            for medium, names in ((media[0], first), (media[1], second)):
                for name in names:
                    with open(os.path.join(medium, name), "rb") as f, open(os.path.join(both, name), "wb") as g:
                        g.write(f.read())
            rs.check_volumes(check, both, sorted(first + second), source, rs.stored_prefix_of(source))
    finally:
        for medium in mounted:
            rs.unmount(medium)

check.finish()
