"""Reads a VERSIONINFO resource (VS_VERSIONINFO): the fixed file information and the strings.

Independent of the resource compiler that wrote it: the layout is Windows' documented one, a tree
of blocks, each a length, a value length, a type, a UTF-16 key and a value, aligned to 32 bits.
"""
import struct
from dataclasses import dataclass, field

FIXED_SIGNATURE = 0xFEEF04BD


@dataclass
class VersionInfo:
    file_version: tuple = ()
    product_version: tuple = ()
    file_flags: int = 0
    file_type: int = 0
    strings: dict = field(default_factory=dict)  # string table key (e.g. "041204B0") -> {name: text}
    translations: list = field(default_factory=list)  # (language, code page) pairs


def _align(offset):
    return (offset + 3) & ~3


def _block(data, at):
    """(key, value bytes, value type, children, end) of the block at offset at."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[at + 6:key_end].decode("utf-16-le")
    value_at = _align(key_end + 2)
    value_size = value_length * 2 if value_type == 1 else value_length
    value = data[value_at:value_at + value_size]
    children, child = [], _align(value_at + value_size)
    while child < end:
        children.append(_block(data, child))
        child = _align(children[-1][4])
    return key, value, value_type, children, end


def _version(high, low):
    return (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF)


def parse(data):
    key, value, _, children, _ = _block(data, 0)
    if key != "VS_VERSION_INFO":
        raise ValueError(f"root block is {key!r}, not VS_VERSION_INFO")
    fixed = struct.unpack_from("<13I", value)
    if fixed[0] != FIXED_SIGNATURE:
        raise ValueError("no VS_FIXEDFILEINFO")
    info = VersionInfo(_version(fixed[2], fixed[3]), _version(fixed[4], fixed[5]), fixed[7],
                       fixed[9])
    for name, _, _, tables, _ in children:
        if name == "StringFileInfo":
            for table, _, _, strings, _ in tables:
                info.strings[table] = {
                    text_key: text.decode("utf-16-le").rstrip("\0")
                    for text_key, text, _, _, _ in strings}
        elif name == "VarFileInfo":
            for var, pairs, _, _, _ in tables:
                if var == "Translation":
                    info.translations += list(struct.iter_unpack("<HH", pairs))
    return info
