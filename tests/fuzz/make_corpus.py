#!/usr/bin/env python3
"""Writes the decoder seed corpus: one valid datagram of each received kind and a
few hostile ones. Run from this folder; the output is committed."""
import os
import struct

HEAD = lambda op, ver=8: struct.pack(">HHHH", 9544, ver, 3, op)
TRAILER = struct.pack(">HH", 9544, 0)


def disk(partitions, claimed=None, size=4194304):
    d = struct.pack(">HHHHHI", 0x80, 1024, 255, 63, claimed if claimed is not None else partitions, size)
    for p in range(12):
        if p < partitions:
            d += struct.pack(">BBBBHIII6x", p + 1, 0x80 if p == 0 else 0, 0x83, 1 if p >= 4 else 0, 0,
                             2048 * (p + 1), 2048, 7)
        else:
            d += bytes(24)
    return d


def announce(disks, claimed=None, name=b"PC-01"):
    body = struct.pack(">I", 0xC0A80114) + name.ljust(40, b"\0")[:40]
    body += struct.pack(">H", claimed if claimed is not None else len(disks))
    return HEAD(5) + body + b"".join(disks) + TRAILER


seeds = {
    "announce_two_disks": announce([disk(3), disk(1)]),
    "announce_claims_six": announce([disk(1)] * 6, claimed=6),
    "announce_claims_15_partitions": announce([disk(12, claimed=15)]),
    "announce_truncated": announce([disk(3), disk(2)])[:420],
    "announce_long_name": announce([], name=b"N" * 40),
    "copy_ack": HEAD(3) + struct.pack(">IIII", 40, 0x0A000007, 512, 2048) + TRAILER,
    "copy_nak": HEAD(4) + struct.pack(">III", 7, 10, 20) + TRAILER,
    "copy_done": HEAD(6) + struct.pack(">I", 0x0A000007) + TRAILER,
    "copy_ready": HEAD(8) + TRAILER,
    "copy_done_report": HEAD(6) + struct.pack(">I", 0x0A000007)
    + struct.pack(">HHH", 9544, 7, 3) + b"abc"  # a kind nobody knows, skipped
    + struct.pack(">HHH", 9544, 1, 27) + b"partition 1 grew\nswap moved",
    "copy_done_report_cut": HEAD(6) + struct.pack(">I", 0x0A000007) + struct.pack(">HHH", 9544, 1, 900) + b"short",
    "create_data": HEAD(18) + struct.pack(">IHII", 0, 18, 1, 100)
    + struct.pack(">6xH", 12) + struct.pack(">6xH", 11) + struct.pack("<h", 0) + TRAILER,
    "create_data_count_too_big": HEAD(18) + struct.pack(">IHII", 1, 60000, 1, 100) + b"xx",
    "copy_name_report": HEAD(12) + struct.pack(">IHH", 0x0A000007, 3, 1) + b"ROOM12-PC04".ljust(64, b"\0")
    + struct.pack(">H", 24) + b"computer name ROOM12-PC0" + TRAILER,
    "copy_name_text_too_long": HEAD(12) + struct.pack(">IHH", 0x0A000007, 3, 1) + bytes(64)
    + struct.pack(">H", 900) + b"cut" + TRAILER,
    "copy_name_order": HEAD(12) + struct.pack(">IHH", 0x0A000007, 0, 0) + b"ROOM12-PC04".ljust(64, b"\0") + TRAILER,
    "unknown_opcode": HEAD(20),
    "foreign": b"GET / HTTP/1.0\r\n\r\n",
}

os.makedirs("corpus", exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join("corpus", name), "wb") as f:
        f.write(data)
