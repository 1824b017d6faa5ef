"""What the script runs of the program share: a program folder of its own, job files, a mail
inbox on 127.0.0.1, drive letters and boxes through scriptdrv, and the checks of the volumes by
the native peers (unzip, 7z)."""

import os
import random
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import zipfile

from aiosmtpd.controller import Controller


class Checks:
    def __init__(self):
        self.failures = []

    def __call__(self, condition, what):
        if not condition:
            self.failures.append(what)
            print("FAILED: " + what)
        return condition

    def finish(self):
        if self.failures:
            print("%d failed" % len(self.failures))
            sys.exit(1)
        print("ok")
        sys.exit(0)


def winpath(path):
    return "Z:" + path.replace("/", "\\")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Inbox:
    def __init__(self):
        self.mails = []

    async def handle_DATA(self, server, session, envelope):
        self.mails.append(envelope.original_content)
        return "250 OK"


class MailServer:
    """aiosmtpd on 127.0.0.1 at a free port."""

    def __init__(self):
        self.inbox = Inbox()
        self.port = free_port()
        self.controller = Controller(self.inbox, hostname="127.0.0.1", port=self.port)

    def __enter__(self):
        self.controller.start()
        return self

    def __exit__(self, *exc):
        self.controller.stop()


def job_text(destination, includes, size="4", level="6", verify=True, catalog=False, split=False, zip_name=""):
    """A job file: destination, clear archive bits off, all files, the zip name (empty: named
    by the date), compression level, volume size in MB, verification and catalogue as given."""
    lines = [destination, "0", "0", "46000.5", "0", zip_name, level, size, "0", "0", "#####",
             "1" if verify else "0", "0", "0", "0", "1" if catalog else "0", "1", "1",
             "1" if split else "0", "0", "0", "0", "", "0", "0", "1", "", "1", "",
             "*-Include-*"] + includes + ["*-Exclude-*"]
    return "".join(line + "\r\n" for line in lines).encode("cp1252")


def mixed_tree(root, seed, random_files=9, random_size=900000, notes=6):
    """Folders, an empty folder, random (incompressible) and text files, an empty file."""
    rnd = random.Random(seed)
    os.makedirs(os.path.join(root, "docs", "old"))
    os.makedirs(os.path.join(root, "empty"))
    os.makedirs(os.path.join(root, "media"))
    for i in range(random_files):
        with open(os.path.join(root, "media", "clip%d.bin" % i), "wb") as f:
            f.write(rnd.randbytes(random_size + i * 1000))
    for i in range(notes):
        with open(os.path.join(root, "docs", "note%d.txt" % i), "wb") as f:
            f.write("".join("line %d of note %d\r\n" % (n, i) for n in range(2000)).encode())
    with open(os.path.join(root, "docs", "old", "tiny.txt"), "wb") as f:
        f.write(b"x")
    open(os.path.join(root, "zero.dat"), "wb").close()


def tree_files(root):
    """Relative paths ("/") and bytes of every file under root."""
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            with open(path, "rb") as f:
                files[os.path.relpath(path, root).replace(os.sep, "/")] = f.read()
    return files


class Program:
    """A copy of the program file in a folder of its own, with its settings file."""

    def __init__(self, folder, program, scriptdrv, wine_run, settings=None):
        """settings: more lines by section name, e.g. {"Settings": "UseTempFile=1"}."""
        self.folder = folder
        self.exe = os.path.join(folder, "tarnwick.exe")
        self.scriptdrv = scriptdrv
        self.wine_run = wine_run
        shutil.copy(program, self.exe)
        # Per-user data off, and no notice of the missing disc layer (a form a script cannot answer).
        sections = {"Settings": ["UseUserData2kXP=0", "UseUserData=0"], "LastState": ["default=1", "HideInfo=1"]}
        for section, lines in (settings or {}).items():
            sections.setdefault(section, []).extend(lines.split("\n"))
        text = "".join("[%s]\r\n" % section + "".join(line + "\r\n" for line in lines)
                       for section, lines in sections.items())
        with open(os.path.join(folder, "tarnwick.ini"), "wb") as f:
            f.write(text.encode("cp1252"))

    def write_job(self, name, text):
        with open(os.path.join(self.folder, name), "wb") as f:
            f.write(text)

    def start(self, *arguments):
        # Nothing of the test's own output goes to Wine: a desktop process the program starts
        # would hold it open until the last program of the prefix ends.
        return subprocess.Popen([self.wine_run, self.exe] + list(arguments), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, *arguments, timeout=150):
        started = time.time()
        process = self.start(*arguments)
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            code = None
        print("run %s: exit %s after %.1f s" % (" ".join(arguments), code, time.time() - started))
        return code

    def tool(self, *arguments):
        done = subprocess.run([self.wine_run, self.scriptdrv] + list(arguments), stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
        return done.stdout.decode("cp1252", "replace").replace("\r", "").strip()

    def drive(self, kind, unix_folder):
        """A letter of the kind over the folder; None when the mount manager refused."""
        out = self.tool("drive", kind, unix_folder)
        return out[len("letter "):] if out.startswith("letter ") else None

    def box(self, button, milliseconds):
        """Waits for a box of this program and clicks the button; its text, or None."""
        out = self.tool("box", winpath(self.exe), button, str(milliseconds))
        return out[len("box: "):] if out.startswith("box: ") else None

    def log(self):
        path = os.path.join(self.folder, "tarnwick.log")
        return open(path, "rb").read().decode("cp1252") if os.path.exists(path) else ""


def mount_tmpfs(path, size):
    os.makedirs(path, exist_ok=True)
    return subprocess.run(["mount", "-t", "tmpfs", "-o", "size=" + size, "tmpfs", path],
                          stderr=subprocess.DEVNULL).returncode == 0


def unmount(path):
    subprocess.run(["umount", "-l", path], stderr=subprocess.DEVNULL)


def volumes_in(folder):
    return sorted(name for name in os.listdir(folder) if name.lower().endswith(".zip"))


def check_volumes(check, folder, zips, tree_root, stored_prefix):
    """unzip -t and 7z t pass for every volume; extracted together they are the tree, each
    file once. Returns the entry names of the last volume."""
    held = {}
    last = []
    for name in zips:
        path = os.path.join(folder, name)
        tested = subprocess.run(["unzip", "-tq", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        check(tested.returncode == 0, "unzip -t %s: %s" % (name, tested.stdout.decode(errors="replace")))
        tested = subprocess.run(["7z", "t", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        check(tested.returncode == 0, "7z t %s: %s" % (name, tested.stdout.decode(errors="replace")[-400:]))
        with zipfile.ZipFile(path) as archive:
            last = archive.namelist()
            for entry in archive.infolist():
                if entry.is_dir():
                    continue
                held.setdefault(entry.filename, []).append(name)
    with tempfile.TemporaryDirectory() as out:
        for name in zips:
            subprocess.run(["unzip", "-qo", os.path.join(folder, name), "-d", out], check=False)
        extracted = tree_files(os.path.join(out, stored_prefix))
    expected = tree_files(tree_root)
    check(sorted(extracted) == sorted(expected),
          "extracted = tree: missing %s, extra %s" % (sorted(set(expected) - set(extracted)),
                                                      sorted(set(extracted) - set(expected))))
    for path, data in expected.items():
        check(extracted.get(path) == data, "%s extracted as it is" % path)
    tree_stored = [name for name in held if name.startswith(stored_prefix + "/")]
    for name in tree_stored:
        check(len(held[name]) == 1, "%s held once: %s" % (name, held[name]))
    return last


def stored_prefix_of(unix_root):
    """The folder the volumes store a Z: tree under: its path without the drive."""
    return unix_root.strip("/")
