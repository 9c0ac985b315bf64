#!/usr/bin/env python3
"""Prints the version resource of a Windows PE file (a DLL or an .exe).

    pe_version.py FILE

One line per entry, as Windows shows them in the file's properties:

    FileVersion (fixed): 1.0.0.0
    ProductVersion (fixed): 1.0.0.0
    FileDescription: ...
    FileVersion: 1.0.0
    ...

Exits 1 with a message when the file has no version resource or is not a PE
file. Reads the structures by hand: nothing beyond the standard library.
"""
import struct
import sys

RT_VERSION = 16
FIXED_FILE_INFO_SIGNATURE = 0xFEEF04BD


class NotFound(Exception):
    pass


def u16(data, offset):
    return struct.unpack_from("<H", data, offset)[0]


def u32(data, offset):
    return struct.unpack_from("<I", data, offset)[0]


def resource_section(data):
    """The resource directory's file offset and the RVA-to-offset mapping."""
    if data[:2] != b"MZ":
        raise NotFound("not a PE file (no MZ header)")
    pe = u32(data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise NotFound("not a PE file (no PE signature)")
    sections, optional_size = u16(data, pe + 6), u16(data, pe + 20)
    optional = pe + 24
    magic = u16(data, optional)
    directories = optional + (96 if magic == 0x10B else 112)
    resource_rva = u32(data, directories + 2 * 8)
    if resource_rva == 0:
        raise NotFound("no resource directory")
    table = optional + optional_size
    for index in range(sections):
        entry = table + 40 * index
        size, rva, raw_size, raw = struct.unpack_from("<IIII", data, entry + 8)
        if rva <= resource_rva < rva + max(size, raw_size):
            return resource_rva - rva + raw, lambda address: address - rva + raw
    raise NotFound("the resource directory lies in no section")


def directory_entries(data, base, offset):
    named, numbered = u16(data, base + offset + 12), u16(data, base + offset + 14)
    first = base + offset + 16
    return [struct.unpack_from("<II", data, first + 8 * i) for i in range(named + numbered)]


def version_block(data):
    """The raw VS_VERSIONINFO block: the first name and language of RT_VERSION."""
    base, to_offset = resource_section(data)
    level = 0
    for name, target in directory_entries(data, base, 0):
        if name == RT_VERSION:
            level = target
            break
    else:
        raise NotFound("no version resource")
    while level & 0x80000000:
        entries = directory_entries(data, base, level & 0x7FFFFFFF)
        if not entries:
            raise NotFound("an empty version resource directory")
        level = entries[0][1]
    rva, size = struct.unpack_from("<II", data, base + level)
    start = to_offset(rva)
    return data[start:start + size]


def align4(offset):
    return (offset + 3) & ~3


def read_node(block, offset):
    """One node (length, value length, type, key, value, children) of the tree."""
    length, value_length, kind = struct.unpack_from("<HHH", block, offset)
    key_end = offset + 6
    while block[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = block[offset + 6:key_end].decode("utf-16-le")
    value_start = align4(key_end + 2)
    value_bytes = value_length * 2 if kind == 1 else value_length
    value = block[value_start:value_start + value_bytes]
    children, child = [], align4(value_start + value_bytes)
    while child < offset + length:
        node = read_node(block, child)
        children.append(node)
        child = align4(child + node["length"])
    return {"length": length, "text": kind == 1, "key": key, "value": value,
            "children": children}


def fixed_version(high, low):
    return "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)


def describe(path):
    with open(path, "rb") as file:
        data = file.read()
    root = read_node(version_block(data), 0)
    if root["key"] != "VS_VERSION_INFO" or len(root["value"]) < 52:
        raise NotFound("the version resource is not a VS_VERSION_INFO")
    fixed = struct.unpack_from("<13I", root["value"])
    if fixed[0] != FIXED_FILE_INFO_SIGNATURE:
        raise NotFound("no fixed file information in the version resource")
    lines = ["FileVersion (fixed): " + fixed_version(fixed[2], fixed[3]),
             "ProductVersion (fixed): " + fixed_version(fixed[4], fixed[5])]
    for info in root["children"]:
        if info["key"] != "StringFileInfo":
            continue
        for table in info["children"]:
            for entry in table["children"]:
                text = entry["value"].decode("utf-16-le").rstrip("\0")
                lines.append("%s: %s" % (entry["key"], text))
    return lines


def main():
    if len(sys.argv) != 2:
        print("usage: pe_version.py FILE", file=sys.stderr)
        return 2
    try:
        print("\n".join(describe(sys.argv[1])))
    except (NotFound, OSError, struct.error, UnicodeDecodeError) as error:
        print("pe_version.py: %s: %s" % (sys.argv[1], error), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
