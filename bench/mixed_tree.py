#!/usr/bin/env python3
# A generated tree for the benchmarks: bench/mixed_tree.py FOLDER MEGABYTES
# Many small files and a few large ones (sizes lognormal around 13 KB), in folders of about
# 25; half text, the rest half noise as in libraries.
import os, random, sys
top, total = sys.argv[1], int(sys.argv[2]) * 1000 * 1000
rng = random.Random(7)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9))) for _ in range(800)]
folders = [""]
made = i = 0
while made < total:
    if i % 25 == 0:
        folders.append(os.path.join(rng.choice(folders[: 1 + len(folders) // 2]), "dir%03d" % (i // 25)))
    folder = os.path.join(top, rng.choice(folders))
    os.makedirs(folder, exist_ok=True)
    size = min(total - made, max(1, int(rng.lognormvariate(9.5, 1.6))))
    if i % 2 == 0:
        text = bytearray()
        while len(text) < size:
            text += b" ".join(rng.choice(words) for _ in range(12)) + b"\r\n"
        data = bytes(text[:size])
    else:
        half = size // 2
        data = os.urandom(half) + (b"MZ\x90\x00" * (size // 8 + 1))[: size - half]
    with open(os.path.join(folder, "file%05d.%s" % (i, rng.choice(["txt", "dll", "htm", "dat"]))), "wb") as f:
        f.write(data)
    made += size
    i += 1
