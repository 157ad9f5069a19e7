"""What the setup should install, read straight from the FennSetup.exe under test.

The payloads travel as "CUSTOM" resources 101 to 104 (a zlib stream, the 24-byte file-times
trailer, up to three zero bytes), the target names as string-table entries 101 to 104. Reading
them here, independently of the setup's own code, gives the expected bytes and times of every
installed file.
"""

import struct
import zlib
from dataclasses import dataclass
from pathlib import Path

FILETIME_EPOCH_OFFSET = 116444736000000000  # 100 ns intervals from 1601-01-01 to 1970-01-01
RT_STRING = 6


@dataclass
class Payload:
    resource_id: int
    name: str
    container: bytes
    content: bytes
    creation: int
    last_access: int
    last_write: int

    @property
    def last_write_ns(self):
        """The last-write time as Unix nanoseconds, as the host sees an installed file's mtime."""
        return (self.last_write - FILETIME_EPOCH_OFFSET) * 100

    @property
    def last_access_ns(self):
        return (self.last_access - FILETIME_EPOCH_OFFSET) * 100


class PeResources:
    """The resource tree of a PE file: (type, id) -> (file offset, size) of the first language."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections = struct.unpack_from("<H", data, pe + 6)[0]
        optional_size = struct.unpack_from("<H", data, pe + 20)[0]
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, rva, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(vsize, raw_size), raw_ptr))
        self.rsrc = self._offset(self.rsrc_rva)

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

    def find(self, rtype, rid):
        """(language, file offset, size) of a resource, or None."""
        for key, target in self._entries(self.rsrc):
            if key != rtype:
                continue
            for key2, target2 in self._entries(self._subdirectory(target)):
                if key2 != rid:
                    continue
                for language, leaf in self._entries(self._subdirectory(target2)):
                    rva, size = struct.unpack_from("<II", self.data, self.rsrc + leaf)
                    return language, self._offset(rva), size
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


def read_payloads(exe_path):
    resources = PeResources(Path(exe_path).read_bytes())
    payloads = []
    for rid in range(101, 105):
        name = resources.string(rid)
        container = resources.bytes_of("CUSTOM", rid)
        if name is None or container is None:
            raise ValueError(f"{exe_path} lacks payload {rid}")
        inflater = zlib.decompressobj()
        content = inflater.decompress(container) + inflater.flush()
        # The recorded trailer follows the stream's end; padding zeros may follow it.
        trailer = inflater.unused_data[:24]
        creation, access, write = struct.unpack("<QQQ", trailer)
        payloads.append(Payload(rid, name, container, content, creation, access, write))
    return payloads


def corrupt_payload(exe_path, out_path, rid):
    """A copy of the executable whose container rid has a damaged zlib body (same size)."""
    data = bytearray(Path(exe_path).read_bytes())
    found = PeResources(bytes(data)).find("CUSTOM", rid)
    if found is None:
        raise ValueError(f"{exe_path} has no CUSTOM {rid}")
    _, offset, size = found
    middle = offset + (size - 24) // 2
    for i in range(16):  # enough damaged bytes that no decoder can take it for valid data
        data[middle + i] ^= 0xA5
    Path(out_path).write_bytes(bytes(data))
