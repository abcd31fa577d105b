#!/usr/bin/env python3
"""Writes a deterministic tree for the read benchmark.

    make_read_tree.py DIR FILE_COUNT TOTAL_MIB

The tree make_tree.py writes (the same mix of sizes in 40 folders of 3
sub-folders each), with its files renamed from "file0123.bin" to "f0123.bin":
a disc's file system table holds at most 65,535 name bytes, which 6,000 of the
longer names would exceed.
"""
import os
import subprocess
import sys


def main():
    root = sys.argv[1]
    here = os.path.dirname(os.path.abspath(__file__))
    subprocess.run([sys.executable, os.path.join(here, "make_tree.py")] + sys.argv[1:4], check=True)
    for folder, _, files in os.walk(root):
        for name in files:
            if name.startswith("file"):
                os.rename(os.path.join(folder, name), os.path.join(folder, "f" + name[4:]))


if __name__ == "__main__":
    main()
