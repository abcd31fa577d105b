#!/usr/bin/env python3
"""Writes a file system table whose entries all point at one long name: small
on disk, but a reader or builder that copies each entry's name (or stores each
entry's full path) needs memory far beyond the input's size.

    make_shared_name_table.py [--deep] [--into BASE.gcm] OUT ENTRIES [NAME_BYTES]

ENTRIES files at the top level, each holding the image's first byte; with
--deep, ENTRIES folders each nested in the one before. NAME_BYTES (default
65,535) is the one name's length. OUT is the bare table (an unpacked disc's
sys/fst.bin), or with --into BASE.gcm that image with the table put at its
end and its header pointing there.
"""
import argparse
import struct

FOLDER = 0x01000000
HEADER_TABLE_FIELDS = 0x424  # table offset, table size, largest table size
ALIGNMENT = 0x800


def table(entries, name_bytes, deep):
    count = entries + 1
    words = [struct.pack(">III", FOLDER, 0, count)]
    for i in range(1, count):
        if deep:
            words.append(struct.pack(">III", FOLDER, 0, count))
        else:
            words.append(struct.pack(">III", 0, 0, 1))
    name = bytes(ord("a") + i % 26 for i in range(name_bytes))
    return b"".join(words) + name + b"\0"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--deep", action="store_true")
    parser.add_argument("--into")
    parser.add_argument("out")
    parser.add_argument("entries", type=int)
    parser.add_argument("name_bytes", type=int, nargs="?", default=65535)
    args = parser.parse_args()
    fst = table(args.entries, args.name_bytes, args.deep)
    if not args.into:
        blob = fst
    else:
        with open(args.into, "rb") as f:
            image = bytearray(f.read())
        image += b"\0" * (-len(image) % ALIGNMENT)
        struct.pack_into(">III", image, HEADER_TABLE_FIELDS, len(image), len(fst), len(fst))
        blob = bytes(image) + fst
    with open(args.out, "wb") as f:
        f.write(blob)


if __name__ == "__main__":
    main()
