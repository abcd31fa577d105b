#!/usr/bin/env python3
"""Writes small hand-made disc images with the awkward file system tables a
builder never writes, as seeds for the reader's fuzz target.

    make_seed_images.py FOLDER

Each image is a zeroed 0x2440-byte header area, the table at 0x2440, then a
data area. Entries are (is_folder, name index, second word, third word): for a
file its offset and size, for a folder its parent index and end index.
"""
import os
import struct
import sys

TABLE_OFFSET = 0x2440
DATA = TABLE_OFFSET + 0x400  # behind every table written here


def image(entries, names, data=b""):
    name_table = b""
    offsets = []
    for name in names:
        offsets.append(len(name_table))
        name_table += name + b"\0"
    table = struct.pack(">III", 0x01000000, 0, len(entries) + 1)
    for is_folder, name, second, third in entries:
        table += struct.pack(">III", (0x01000000 if is_folder else 0) | offsets[name], second, third)
    table += name_table
    assert len(table) <= DATA - TABLE_OFFSET
    head = bytearray(TABLE_OFFSET)
    head[0:6] = b"GFZE01"
    head[0x20:0x29] = b"Fuzz seed"
    # main program offset, table offset, table size, largest table size
    struct.pack_into(">IIII", head, 0x420, TABLE_OFFSET, TABLE_OFFSET, len(table), len(table))
    padding = b"\0" * (DATA - TABLE_OFFSET - len(table))
    return bytes(head) + table + padding + data


def main():
    folder = sys.argv[1]
    seeds = {
        "hand-root-only": image([], []),
        # Names that must never reach a host path.
        "hand-unsafe-names": image(
            [(0, 0, DATA, 4), (0, 1, DATA, 4), (1, 2, 0, 4), (0, 3, DATA, 4)],
            [b"..", b"a/b", b".", b"x"], b"data"),
        # Folders nested 60 deep, each holding the next, the last holding a file.
        "hand-deep": image([(1, 0, i, 62) for i in range(60)] + [(0, 1, DATA, 1)],
                           [b"d", b"leaf"], b"z"),
        # A banner whose recorded size is neither variant and runs past the end.
        "hand-short-banner": image([(0, 0, DATA, 8000)], [b"opening.bnr"], b"\x80" * 100),
        # Duplicate and case-folded names; a file and a folder of one name.
        "hand-duplicates": image(
            [(1, 0, 0, 3), (0, 1, DATA, 1), (0, 0, DATA, 1), (0, 2, DATA, 2), (1, 2, 0, 6)],
            [b"A", b"f", b"a"], b"xy"),
        # A single-record banner (6,496 bytes), kind 0.
        "hand-single-banner": image([(0, 0, DATA, 6496)], [b"OPENING.BNR"],
                                    bytes(range(256)) * 26),
    }
    for name, blob in seeds.items():
        with open(os.path.join(folder, name + ".gcm"), "wb") as f:
            f.write(blob)


if __name__ == "__main__":
    main()
