#!/usr/bin/env python3
# Compares the entries of two builds' archives byte by byte, local header and data:
#   bench/same_entries.py BEFORE AFTER [PART]
# BEFORE and AFTER are zip files or folders of volumes; with PART only entries whose stored
# name contains that folder part (e.g. "/tree/") are compared. Exit 1 when any differs.
import os, struct, sys, zipfile

def entries(place):
    archives = [os.path.join(place, n) for n in sorted(os.listdir(place))] if os.path.isdir(place) else [place]
    found = {}
    for path in archives:
        with open(path, "rb") as f:
            data = f.read()
        for info in zipfile.ZipFile(path).infolist():
            at = info.header_offset
            name_length, extra_length = struct.unpack_from("<HH", data, at + 26)
            found[info.filename] = data[at : at + 30 + name_length + extra_length + info.compress_size]
    return found

before, after = entries(sys.argv[1]), entries(sys.argv[2])
part = sys.argv[3] if len(sys.argv) > 3 else ""
names = sorted(n for n in before.keys() | after.keys() if part in "/" + n.replace("\\", "/"))
differ = [n for n in names if before.get(n) != after.get(n)]
print("entries: %d compared, %d differ%s" % (len(names), len(differ), "".join("\n  " + n for n in differ[:20])))
sys.exit(1 if differ or not names else 0)
