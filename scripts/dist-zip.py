#!/usr/bin/env python3
"""dist-zip.py ROOT NAME OUT.zip: zips the folder ROOT/NAME, the same bytes on every run.

Entries are sorted by name (a folder ends in "/"), every entry dated
SOURCE_DATE_EPOCH (UTC), with fixed permissions and no other extra fields. Names outside ASCII
are stored in Shift_JIS (code page 932), which the zip folders of Japanese Windows 7 and later
read, with the UTF-8 name beside it in an Info-ZIP Unicode Path field for every other unzipper.
"""
import os
import struct
import sys
import time
import zlib


def dos_time(epoch):
    t = time.gmtime(max(epoch, 315532800))  # DOS dates start in 1980
    return ((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2),
            ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday)


def encode_name(name):
    """The header's name bytes, its general-purpose flags and its extra field."""
    if name.isascii():
        return name.encode("ascii"), 0, b""
    try:
        raw = name.encode("cp932")
    except UnicodeEncodeError:
        return name.encode("utf-8"), 0x800, b""  # the language-encoding flag: UTF-8
    utf8 = name.encode("utf-8")
    body = struct.pack("<BI", 1, zlib.crc32(raw)) + utf8
    return raw, 0, struct.pack("<HH", 0x7075, len(body)) + body


def entries(root, name):
    """(archive name, host path) for the folder and everything in it, in a fixed order."""
    out = []
    for folder, dirs, files in os.walk(os.path.join(root, name)):
        dirs.sort()
        rel = os.path.relpath(folder, root).replace(os.sep, "/")
        out.append((rel + "/", None))
        for f in sorted(files):
            out.append((rel + "/" + f, os.path.join(folder, f)))
    return sorted(out)


def main():
    root, name, target = sys.argv[1:4]
    mtime, mdate = dos_time(int(os.environ["SOURCE_DATE_EPOCH"]))
    made_by = (3 << 8) | 20  # Unix, zip 2.0: the high half of the attributes is the mode
    local, central = bytearray(), bytearray()
    count = 0
    for arcname, path in entries(root, name):
        raw, flags, extra = encode_name(arcname)
        if path is None:
            data, method, crc, size, mode = b"", 0, 0, 0, 0o40755
            attrs = (mode << 16) | 0x10  # MS-DOS directory bit
        else:
            with open(path, "rb") as f:
                plain = f.read()
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            data = packer.compress(plain) + packer.flush()
            method, crc, size, mode = 8, zlib.crc32(plain), len(plain), 0o100644
            attrs = mode << 16
        offset = len(local)
        local += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, flags, method, mtime, mdate, crc,
                             len(data), size, len(raw), len(extra)) + raw + extra + data
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, made_by, 20, flags, method,
                               mtime, mdate, crc, len(data), size, len(raw), len(extra), 0, 0,
                               0, attrs, offset) + raw + extra
        count += 1
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, count, count, len(central), len(local), 0)
    with open(target + ".part", "wb") as f:
        f.write(local + central + end)
    os.replace(target + ".part", target)


if __name__ == "__main__":
    main()
