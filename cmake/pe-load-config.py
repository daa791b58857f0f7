#!/usr/bin/env python3
"""pe-load-config.py -- LINK-COMMAND...: runs the link of an exe (`-o EXE`) with a map beside it,
then points the load-configuration data directory of EXE at its `_load_config_used` (found in
the map), sets the structure's DependentLoadFlags to LOAD_LIBRARY_SEARCH_SYSTEM32 and recomputes
the PE checksum. Debian's ld 2.40 has no switch for the flags and leaves the directory empty.
The same link gives the same bytes.

pe-load-config.py EXE MAP does the same on an exe already linked."""
import re
import struct
import subprocess
import sys

LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800
LOAD_CONFIG = 10  # IMAGE_DIRECTORY_ENTRY_LOAD_CONFIG
# Per optional-header magic: where the data directories start in the optional header, and where
# DependentLoadFlags (the headers' Reserved1) lies in IMAGE_LOAD_CONFIG_DIRECTORY32 / 64.
LAYOUT = {0x10B: (96, 54), 0x20B: (112, 78)}


def fail(message):
    sys.exit(f"pe-load-config: {message}")


def checksum(image, field):
    """The PE checksum: 16-bit one's-complement-style sum of the file, its own field as zero,
    plus the file's length."""
    data = image[:field] + b"\0\0\0\0" + image[field + 4:]
    if len(data) % 2:
        data += b"\0"
    total = 0
    for (word,) in struct.iter_unpack("<H", data):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total & 0xFFFF) + len(image)


def main(exe, map_file):
    image = bytearray(open(exe, "rb").read())
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[:2] != b"MZ" or image[pe:pe + 4] != b"PE\0\0":
        fail(f"{exe} is no PE image")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    if magic not in LAYOUT:
        fail(f"{exe}: unknown optional header {magic:#x}")
    directories, flags_offset = LAYOUT[magic]
    image_base = (struct.unpack_from("<Q", image, optional + 24)[0] if magic == 0x20B
                  else struct.unpack_from("<I", image, optional + 28)[0])

    # i686 symbols carry a leading underscore of their own.
    found = re.findall(r"^\s+0x([0-9a-f]+)\s+_?_load_config_used\s*$", open(map_file).read(), re.M)
    if len(found) != 1:
        fail(f"{map_file}: _load_config_used is not in the map once")
    rva = int(found[0], 16) - image_base

    table = optional + optional_size
    for i in range(sections):
        size, address, raw_size, raw = struct.unpack_from("<IIII", image, table + 40 * i + 8)
        if address <= rva < address + min(size, raw_size):
            offset = rva - address + raw
            break
    else:
        fail(f"{exe}: _load_config_used at {rva:#x} lies in no section's data")
    config_size = struct.unpack_from("<I", image, offset)[0]
    if config_size < flags_offset + 2:
        fail(f"{exe}: the load configuration's size {config_size} leaves out DependentLoadFlags")

    struct.pack_into("<II", image, optional + directories + 8 * LOAD_CONFIG, rva, config_size)
    struct.pack_into("<H", image, offset + flags_offset, LOAD_LIBRARY_SEARCH_SYSTEM32)
    field = optional + 64  # CheckSum, at the same place in PE32 and PE32+
    struct.pack_into("<I", image, field, checksum(image, field))
    with open(exe, "r+b") as f:
        f.write(image)


def link(command):
    if "-o" not in command[:-1]:
        fail("the link command names no output (-o)")
    exe = command[command.index("-o") + 1]
    map_file = exe + ".map"
    status = subprocess.call(command + [f"-Wl,-Map={map_file}"])
    if status != 0:
        sys.exit(status)
    main(exe, map_file)


if __name__ == "__main__":
    if len(sys.argv) > 2 and sys.argv[1] == "--":
        link(sys.argv[2:])
    elif len(sys.argv) == 3:
        main(sys.argv[1], sys.argv[2])
    else:
        sys.exit("usage: pe-load-config.py -- LINK-COMMAND... | pe-load-config.py EXE MAP")
