#!/usr/bin/env python3
"""Writes a small disc image whose file system is one chain of nested folders,
each named with NAME_BYTES letters, and a file at the bottom: a listing of it
grows with the square of the depth while the image stays small.

    make_deep_image.py OUT.gcm DEPTH [NAME_BYTES]
"""
import struct
import sys

TABLE_OFFSET = 0x2440


def main():
    out, depth = sys.argv[1], int(sys.argv[2])
    name_bytes = int(sys.argv[3]) if len(sys.argv) > 3 else 10
    count = depth + 1  # the folders and the file below them
    names = b""
    entries = b""
    for i in range(depth):
        entries += struct.pack(">III", 0x01000000 | len(names), 0, count + 1)
        names += (b"%0*d" % (name_bytes, i))[-name_bytes:] + b"\0"
    entries += struct.pack(">III", len(names), 0, 0)  # an empty file
    names += b"bottom.bin\0"
    table = struct.pack(">III", 0x01000000, 0, count + 1) + entries + names
    head = bytearray(TABLE_OFFSET)
    head[0:6] = b"GDPE01"
    head[0x1C:0x20] = struct.pack(">I", 0xC2339F3D)
    head[0x20:0x2A] = b"Deep bench"
    struct.pack_into(">IIII", head, 0x420, TABLE_OFFSET, TABLE_OFFSET, len(table), len(table))
    with open(out, "wb") as f:
        f.write(bytes(head) + table)


if __name__ == "__main__":
    main()
