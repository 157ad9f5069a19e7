"""Reads a VERSIONINFO resource (VS_VERSIONINFO) by Windows' documented layout, independently of
the resource compiler: a tree of blocks, each a length, a value length, a type (1: text), a UTF-16
key and a value, aligned to 32 bits."""
import struct


def _block(data, at):
    """(key, value, children, end) of the block at offset at."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, at)
    key_end = at + 6
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    value_at = (key_end + 2 + 3) & ~3
    value = data[value_at:value_at + value_length * (2 if is_text else 1)]
    children, child = [], (value_at + len(value) + 3) & ~3
    while child < at + length:
        children.append(_block(data, child))
        child = (children[-1][3] + 3) & ~3
    return data[at + 6:key_end].decode("utf-16-le"), value, children, at + length


def parse(data):
    """(file version, product version, file flags, {table: {name: text}}, [(language, code page)])"""
    key, fixed, children, _ = _block(data, 0)
    words = struct.unpack_from("<13I", fixed)
    if key != "VS_VERSION_INFO" or words[0] != 0xFEEF04BD:
        raise ValueError("no VS_VERSION_INFO with a VS_FIXEDFILEINFO")
    file_version, product_version = (
        (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF) for high, low in (words[2:4], words[4:6]))
    tables, translations = {}, []
    for name, _, blocks, _ in children:
        for table, value, strings, _ in blocks:
            if name == "StringFileInfo":
                tables[table] = {k: v.decode("utf-16-le").rstrip("\0") for k, v, _, _ in strings}
            elif table == "Translation":
                translations += list(struct.iter_unpack("<HH", value))
    return file_version, product_version, words[7], tables, translations
