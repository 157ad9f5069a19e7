"""A PE file's sections and resource tree, read with nothing but the standard library.

Tests read the executables under test with this, independently of the code that built them.
"""

import struct
from dataclasses import dataclass
from pathlib import Path

RT_ICON = 3
RT_STRING = 6
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24


@dataclass(frozen=True)
class Resource:
    """One leaf of the resource tree. rtype and rid are ints or (named entries) strings."""
    rtype: object
    rid: object
    language: int
    offset: int  # in the file
    size: int


class PeResources:
    """The resource tree of a PE file: (type, id) -> (file offset, size) of the first language."""

    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise ValueError("not a PE file")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        self.machine, sections = struct.unpack_from("<HH", data, pe + 4)
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        self.is_64bit = magic == 0x20B
        directories = optional + (112 if self.is_64bit else 96)
        self.rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, rva, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(vsize, raw_size), raw_ptr))
        self.rsrc = self._offset(self.rsrc_rva) if self.rsrc_rva else None

    @classmethod
    def from_file(cls, path):
        return cls(Path(path).read_bytes())

    def _offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} in no section")

    def _entries(self, directory_offset):
        named, ids = struct.unpack_from("<HH", self.data, directory_offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, directory_offset + 16 + 8 * i)
            if name & 0x80000000:
                at = self.rsrc + (name & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                key = self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            else:
                key = name
            yield key, target

    def _subdirectory(self, target):
        return self.rsrc + (target & 0x7FFFFFFF)

    def all(self):
        """Every leaf of the tree, in the tree's order (types, then ids, then languages)."""
        if self.rsrc is None:
            return
        for rtype, types in self._entries(self.rsrc):
            for rid, ids in self._entries(self._subdirectory(types)):
                for language, leaf in self._entries(self._subdirectory(ids)):
                    rva, size = struct.unpack_from("<II", self.data, self.rsrc + leaf)
                    yield Resource(rtype, rid, language, self._offset(rva), size)

    def find(self, rtype, rid):
        """(language, file offset, size) of a resource's first language, or None."""
        for resource in self.all():
            if resource.rtype == rtype and resource.rid == rid:
                return resource.language, resource.offset, resource.size
        return None

    def bytes_of(self, rtype, rid):
        found = self.find(rtype, rid)
        if found is None:
            return None
        _, offset, size = found
        return self.data[offset:offset + size]

    def string(self, sid):
        """A string-table entry: block sid // 16 + 1 holds 16 counted UTF-16 strings."""
        block = self.bytes_of(RT_STRING, sid // 16 + 1)
        if block is None:
            return None
        at = 0
        for index in range(16):
            length = struct.unpack_from("<H", block, at)[0]
            text = block[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            if index == sid % 16:
                return text or None
            at += 2 + 2 * length
        return None
