#!/usr/bin/env python3
"""Writes a deterministic tree for the read benchmark.

    make_read_tree.py DIR FILE_COUNT TOTAL_MIB

The same mix of file sizes as make_tree.py (mostly small, some medium, a few
large, scaled to TOTAL_MIB), spread over 40 folders of 3 sub-folders each, but
with short names: a disc's file system table holds at most 65,535 name bytes,
which 6,000 names like make_tree.py's would exceed.
"""
import os
import random
import sys

from make_tree import sizes


def main():
    root, count, total_mib = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    block = random.Random(7).randbytes(4 * 1024 * 1024)
    for i, size in enumerate(sizes(count, total_mib * 1024 * 1024)):
        folder = os.path.join(root, "d%02d" % (i % 40), "s%d" % (i % 3))
        os.makedirs(folder, exist_ok=True)
        start = (i * 7919) % len(block)
        with open(os.path.join(folder, "f%04d.bin" % i), "wb") as f:
            left = size
            while left > 0:
                piece = block[start:start + left]
                f.write(piece)
                left -= len(piece)
                start = 0


if __name__ == "__main__":
    main()
