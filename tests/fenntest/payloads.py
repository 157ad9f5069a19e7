"""What the setup should install, read straight from the FennSetup.exe under test.

The payloads travel as "CUSTOM" resources from 101 on (a zlib stream, the 24-byte file-times
trailer, up to three zero bytes), the target names as string-table entries of the same ids. Reading
them here, independently of the setup's own code, gives the expected bytes and times of every
installed file.
"""

import struct
import sys
import zlib
from dataclasses import dataclass
from pathlib import Path

from .pe import PeResources

# The payload table and the first catalogue id are read by the build's own reader. (At the end of
# the search path: every other import would look in that folder first.)
sys.path.append(str(Path(__file__).resolve().parents[2] / "Updater" / "FennSetup" / "resources"))
from payload_table import first_payload_id, read_table  # noqa: E402

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


def read_payload_table(path):
    """name -> (creation, last access, last write) FILETIMEs from the build's payload table, read
    and checked by the build's own reader."""
    return {payload.name: payload.filetimes for payload in read_table(path)}


def read_payloads(exe_path):
    resources = PeResources(Path(exe_path).read_bytes())
    payloads = []
    # The catalogue as the setup walks it: from the first id to the first one without a name.
    rid = first_payload_id()
    while (name := resources.string(rid)) is not None:
        container = resources.bytes_of("CUSTOM", rid)
        if container is None:
            raise ValueError(f"{exe_path} names payload {rid} but does not carry it")
        inflater = zlib.decompressobj()
        content = inflater.decompress(container) + inflater.flush()
        # The recorded trailer follows the stream's end; padding zeros may follow it.
        trailer = inflater.unused_data[:24]
        creation, access, write = struct.unpack("<QQQ", trailer)
        payloads.append(Payload(rid, name, container, content, creation, access, write))
        rid += 1
    if not payloads:
        raise ValueError(f"{exe_path} carries no payloads")
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
