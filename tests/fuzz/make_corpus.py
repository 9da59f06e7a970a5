#!/usr/bin/env python3
"""Writes the decoder seed corpus: one valid datagram of each received kind, a
few hostile ones, and small image files of the Client's layout (versions 2 and
3). Run from this folder; the output is committed."""
import ctypes
import os
import struct
import zlib

XXH3 = ctypes.CDLL("libxxhash.so.0").XXH3_64bits  # Debian's libxxhash0
XXH3.restype = ctypes.c_uint64
XXH3.argtypes = [ctypes.c_char_p, ctypes.c_size_t]

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


def image(version):
    """An image of a 4 MiB disk with one partition: an MBR, one area, a stored
    chunk and a zlib one, and the end chunk."""
    mbr = bytearray(512)
    mbr[446:462] = struct.pack("<B3xB3xII", 0x80, 0x83, 2048, 4096)
    mbr[510:512] = b"\x55\xaa"
    tables = struct.pack("<I", 1) + struct.pack("<Q", 0) + bytes(mbr)
    areas = struct.pack("<QQ", 2048, 4096)
    data_offset = 8192 + len(tables) + len(areas)
    head = bytearray(data_offset)
    head[0:4] = b"KRNI"
    struct.pack_into("<HHIHHQIH", head, 12, version, 0, data_offset, 1, 1, 8192, 65536, 1)
    head[5512:5514] = bytes([1, 1])
    struct.pack_into("<IIQBBBB", head, 7066, 4096, 4096, 2048, 1, 0x83, 0x80, 0)
    head[8192:8192 + len(tables)] = tables
    head[8192 + len(tables):] = areas
    if version >= 3:
        struct.pack_into("<Q", head, 38, XXH3(bytes(head), len(head)))

    def chunk(area, method, offset, raw, stored):
        c = bytearray(b"CHNK" + struct.pack("<BBHQII", area, method, 0, offset, len(raw), len(stored)) + bytes(8))
        checksum = XXH3(bytes(c[:24]) + raw, 24 + len(raw)) if version >= 3 else zlib.crc32(raw)
        struct.pack_into("<Q", c, 24, checksum)
        return bytes(c) + stored

    text = b"a line of text in a chunk\n" * 40
    body = chunk(0, 0, 0, bytes(range(200)), bytes(range(200))) + chunk(0, 1, 65536, text, zlib.compress(text, 9))
    end = bytearray(b"CHNK" + struct.pack("<BBHQII", 0xFF, 0, 0, 2 if version >= 3 else 0, 0, 0) + bytes(8))
    if version >= 3:
        struct.pack_into("<Q", end, 24, XXH3(bytes(end[:24]), 24))
    whole = bytearray(head) + body + end
    struct.pack_into("<Q", whole, 4, len(whole))
    return bytes(whole)


seeds["image_version2"] = image(2)
seeds["image_version3"] = image(3)

os.makedirs("corpus", exist_ok=True)
for name, data in seeds.items():
    with open(os.path.join("corpus", name), "wb") as f:
        f.write(data)
