#!/usr/bin/python3
"""`tarnwick.exe /H /=X.dat` under Wine to a folder, killed (SIGKILL) while its second volume is
written; then started again shown (`/C /=X.dat`), with Yes to both resume questions (the
start-up's offer and the job start's), answered by scriptdrv: the run goes on at the second
volume; every volume is whole (unzip -t, 7z t) and together they hold the tree once; the
killed run's partial volume and work files are gone.
Usage: run_resume.py TARNWICK_EXE SCRIPTDRV_EXE RERUN_EXE WINE_RUN"""

import os
import signal
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runsupport as rs  # noqa: E402

program_file, scriptdrv, _, wine_run = sys.argv[1:5]
check = rs.Checks()


def wine_process_alive(pid):
    try:
        with open("/proc/%d/status" % pid) as f:
            return "State:\tZ" not in f.read()
    except OSError:
        return False


with tempfile.TemporaryDirectory(prefix="tw_runresume.") as folder:
    temp = os.path.join(folder, "temp")
    dest = os.path.join(folder, "dest")
    os.makedirs(temp)
    program = rs.Program(folder, program_file, scriptdrv, wine_run, {"Files": "TempPath=%s\\" % rs.winpath(temp)})
    source = os.path.join(folder, "source")
    # Two volumes of 14 MiB: the notes and two 6 MB files, then the other two.
    rs.mixed_tree(source, seed=3, random_files=4, random_size=6000000, notes=2)
    program.write_job("X.dat", rs.job_text(rs.winpath(dest), [rs.winpath(source)], size="14", zip_name="X"))
    job = "/=" + rs.winpath(os.path.join(folder, "X.dat"))

    first = program.start("/H", job)
    second_volume = os.path.join(dest, "X002.zip")
    killed_at = None
    deadline = time.time() + 90
    while first.poll() is None and time.time() < deadline:
        if os.path.exists(second_volume) and os.path.getsize(second_volume) > 0:
            first.send_signal(signal.SIGKILL)
            killed_at = os.path.getsize(second_volume)
            break
        time.sleep(0.01)
    first.wait()
    time.sleep(0.5)
    check(killed_at is not None, "killed while the second volume was written")
    check(not wine_process_alive(first.pid), "the first run is gone")
    partial = os.path.getsize(second_volume) if os.path.exists(second_volume) else -1
    print("killed with %s bytes of the second volume written (%d on disk)" % (killed_at, partial))
    check(os.path.exists(os.path.join(folder, "tarnwick.run")), "the killed run left its resume state")

    second = program.start("/C", job)
    answers = [program.box("yes", 40000) for _ in range(2)]
    print("answered: %s" % answers)
    check(all(a and "was not finished" in a for a in answers), "two resume questions answered Yes: %s" % answers)
    try:
        code = second.wait(timeout=120)
    except Exception:
        second.kill()
        code = None
    check(code == 0, "the resumed run ended the program: %s" % code)

    log = program.log()
    zips = rs.volumes_in(dest) if os.path.isdir(dest) else []
    print("volumes: %s" % zips)
    check(zips[:2] == ["X001.zip", "X002.zip"], "the run went on at the second volume: %s" % zips)
    check(log.count("Backup end: X.dat\r\n") == 1 and "Backup cancelled" not in log, "one good end: " + log)
    check("File deleted: " + rs.winpath(second_volume) + "\r\n" in log, "the partial volume was deleted first: " + log)
    rs.check_volumes(check, dest, zips, source, rs.stored_prefix_of(source))
    left = [n for n in os.listdir(temp)] + [n for n in os.listdir(dest) if not n.lower().endswith(".zip")]
    check(not left, "no work files left: %s" % left)
    check(not os.path.exists(os.path.join(folder, "tarnwick.run")), "nothing left to resume")

check.finish()
