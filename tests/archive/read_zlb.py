#!/usr/bin/python3
"""A second, independent reader of the archive format, used by the tests.

Usage: read_zlb.py ARCHIVE OUTDIR
Checks the trailer checksum, reads the registry, writes every member into OUTDIR (names
decoded from windows-1250) after checking its CRC-32, and prints one line per member:
name<TAB>size<TAB>stored<TAB>level. Exits non-zero on any inconsistency.
"""
import os
import struct
import sys
import zlib


def main():
    archive_path, out_dir = sys.argv[1], sys.argv[2]
    data = open(archive_path, "rb").read()
    if len(data) < 36:
        sys.exit("too short")
    body, trailer = data[:-36], data[-36:]
    crc, count, one, reg_size, reg_offset, flag = struct.unpack("<IiiiiB", trailer[:21])
    if trailer[21:] != b"\0" * 15 or one != 1:
        sys.exit("bad trailer fields")
    if zlib.crc32(body) != crc:
        sys.exit("trailer checksum")
    registry = body[reg_offset:]
    if flag == 1:
        if reg_size != len(registry):
            sys.exit("registry size")
        d = zlib.decompressobj()
        entries = d.decompress(registry) + d.flush()
        if not d.eof or d.unused_data:
            sys.exit("registry is not one zlib stream")
    else:
        entries = registry
    if len(entries) != count * 532:
        sys.exit("registry length")
    end = 0
    for i in range(count):
        e = entries[i * 532:(i + 1) * 532]
        name = e[1:1 + e[0]].decode("cp1250")
        size, block, offset, mcrc, stored, level = struct.unpack("<iiiIBB", e[512:530])
        if offset != end:
            sys.exit("blocks are not back to back")
        end = offset + block
        raw = body[offset:offset + block]
        content = raw if stored else zlib.decompress(raw)
        if len(content) != size or zlib.crc32(content) != mcrc:
            sys.exit("member %d" % i)
        with open(os.path.join(out_dir, name), "wb") as f:
            f.write(content)
        print("%s\t%d\t%d\t%d" % (name, size, stored, level))
    if end != reg_offset:
        sys.exit("registry does not follow the last block")


main()
