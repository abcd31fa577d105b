#!/usr/bin/env python3
"""Writes a deterministic tree of mixed-size files for the benchmarks.

    make_tree.py DIR FILE_COUNT TOTAL_MIB [NAME_PREFIX]

Sizes come from a seeded generator: mostly small files, a good share of
medium ones and a few large ones, scaled so the tree totals TOTAL_MIB. The
contents are slices of one seeded random block, so nothing compresses away
and the tree is the same on every run. Files are named NAME_PREFIX (default
"file") and a four-digit number; the read benchmark's 6,000 files take the
shorter "f", as a disc's file system table holds at most 65,535 name bytes.
"""
import os
import random
import sys


def sizes(count, total):
    rng = random.Random(20240601)
    raw = []
    for i in range(count):
        kind = rng.random()
        if kind < 0.75:
            raw.append(rng.randint(1, 64 * 1024))
        elif kind < 0.975:
            raw.append(rng.randint(64 * 1024, 2 * 1024 * 1024))
        else:
            raw.append(rng.randint(8 * 1024 * 1024, 24 * 1024 * 1024))
    scale = total / sum(raw)
    return [max(0, int(s * scale)) for s in raw]


def main():
    root, count, total_mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    prefix = sys.argv[4] if len(sys.argv) > 4 else "file"
    block = random.Random(7).randbytes(4 * 1024 * 1024)
    for i, size in enumerate(sizes(count, total_mib * 1024 * 1024)):
        folder = os.path.join(root, "d%02d" % (i % 40), "s%d" % (i % 3))
        os.makedirs(folder, exist_ok=True)
        start = (i * 7919) % len(block)
        with open(os.path.join(folder, "%s%04d.bin" % (prefix, i)), "wb") as f:
            left = size
            while left > 0:
                piece = block[start:start + left]
                f.write(piece)
                left -= len(piece)
                start = 0


if __name__ == "__main__":
    main()
