#!/usr/bin/env python3
"""Writes a disc image of three CHUNK-sized areas of compressible text whose
FILES one-byte files lie alternately in the second and third area, in table
order: a container with CHUNK-sized chunks then has to give two chunks in
turn, file after file, as an extraction goes through the table.

    make_alternating_image.py [--sorted] OUT.gcm FILES [CHUNK]

CHUNK defaults to 32 MiB. With --sorted the same files come in the order of
their data (those of the second area first), so each area is read in turn.
"""
import os
import struct
import sys

APPLOADER_OFFSET = 0x2440
SAMPLES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples")


def align(n, to=0x800):
    return (n + to - 1) // to * to


def main():
    args = sys.argv[1:]
    in_data_order = "--sorted" in args
    args = [a for a in args if a != "--sorted"]
    out, files = args[0], int(args[1])
    chunk = int(args[2]) if len(args) > 2 else 32 << 20
    # The samples' apploader and main program, so that other tools take it
    # for a disc.
    with open(os.path.join(SAMPLES, "apploader.img"), "rb") as f:
        apploader = f.read()
    with open(os.path.join(SAMPLES, "main.dol"), "rb") as f:
        main_program = f.read()
    dol_offset = align(APPLOADER_OFFSET + len(apploader))
    table_offset = align(dol_offset + len(main_program))
    entries = b""
    names = b""
    order = sorted(range(files), key=lambda i: (i % 2, i)) if in_data_order else range(files)
    for i in order:
        area = 1 + i % 2
        entries += struct.pack(">III", len(names), area * chunk + (4096 * (i // 2)) % chunk, 1)
        names += b"f%05d.bin\0" % i
    table = struct.pack(">III", 0x01000000, 0, files + 1) + entries + names
    assert table_offset + len(table) < chunk
    line = b"line %08d of an area the files take turns in; the rest is filler text.\n"
    text = b"".join(line % n for n in range(3 * chunk // len(line % 0) + 1))[: 3 * chunk]
    head = bytearray(table_offset + len(table))
    head[0:6] = b"GALE01"
    head[0x1C:0x20] = struct.pack(">I", 0xC2339F3D)
    head[0x20:0x2F] = b"Alternating run"
    struct.pack_into(">IIII", head, 0x420, dol_offset, table_offset, len(table), len(table))
    head[APPLOADER_OFFSET:APPLOADER_OFFSET + len(apploader)] = apploader
    head[dol_offset:dol_offset + len(main_program)] = main_program
    head[table_offset:] = table
    with open(out, "wb") as f:
        f.write(bytes(head) + text[len(head):])


if __name__ == "__main__":
    main()
