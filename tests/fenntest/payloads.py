"""What the setup should install, read straight from the FennSetup.exe under test.

The payloads travel as "CUSTOM" resources 101 to 104 (a zlib stream, the 24-byte file-times
trailer, up to three zero bytes), the target names as string-table entries 101 to 104. Reading
them here, independently of the setup's own code, gives the expected bytes and times of every
installed file.
"""

import datetime
import re
import struct
import zlib
from dataclasses import dataclass
from pathlib import Path

from .pe import PeResources

FILETIME_EPOCH_OFFSET = 116444736000000000  # 100 ns intervals from 1601-01-01 to 1970-01-01


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
        return unix_ns(self.last_write)

    @property
    def last_access_ns(self):
        return unix_ns(self.last_access)


def unix_ns(filetime):
    """A FILETIME as Unix nanoseconds, as the host sees a file's times."""
    return (filetime - FILETIME_EPOCH_OFFSET) * 100


_UTC_TIME = re.compile(r"(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(?:\.(\d{1,7}))?Z")


def parse_filetime(text):
    """A time of the payload table: a raw decimal FILETIME or a UTC time such as
    2000-06-16T06:25:32.81Z (up to seven fractional digits, 100 ns each)."""
    if text.isdigit():
        return int(text)
    match = _UTC_TIME.fullmatch(text)
    if not match:
        raise ValueError(f"not a time: {text!r}")
    *fields, fraction = match.groups()
    moment = datetime.datetime(*map(int, fields), tzinfo=datetime.timezone.utc)
    seconds = (moment - datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)) \
        // datetime.timedelta(seconds=1)
    return seconds * 10_000_000 + int((fraction or "").ljust(7, "0"))


def read_payload_table(path):
    """name -> (creation, last access, last write) FILETIMEs from the build's payload table:
    lines of `id name creation lastAccess lastWrite`, `#` starting a comment."""
    table = {}
    for line in Path(path).read_text(encoding="utf-8").splitlines():
        fields = line.split("#", 1)[0].split()
        if not fields:
            continue
        if len(fields) != 5:
            raise ValueError(f"{path}: not `id name creation lastAccess lastWrite`: {line!r}")
        table[fields[1]] = tuple(parse_filetime(f) for f in fields[2:])
    return table


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
