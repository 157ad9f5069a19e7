#!/usr/bin/env python3
"""Reads payloads.txt, the one table of the payloads FennSetup.exe carries, and checks it.

Each line holds a resource id, the file name the payload gets in the product folder and the three
times its container records (creation, last access, last write). A time is a UTC date-time such as
2000-06-16T06:25:32.81Z (up to seven fractional digits) or a raw FILETIME number. Ids run without
gaps from FENN_FIRST_PAYLOAD_ID in ResourceIds.h: the setup's catalogue ends at the first id that
has no name, so a payload behind a gap would never be installed.

usage: payload_table.py TABLE [--payload-dir DIR]
  Prints one line per payload: id, name and the three times as written in the table. With
  --payload-dir, also checks that DIR holds a readable file of every name. Any fault ends the run
  with one line that names the file and line (exit 1).
"""
import datetime
import os
import re
import sys
from dataclasses import dataclass
from pathlib import Path

RESOURCE_IDS_HEADER = Path(__file__).with_name("ResourceIds.h")
FILETIME_TICKS_PER_SECOND = 10_000_000
FILETIME_LIMIT = 1 << 63  # Windows rejects times with the top bit set
_EPOCH = datetime.datetime(1601, 1, 1)
_DATE_TIME = re.compile(r"(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)(?:\.(\d{1,7}))?Z")
# A plain file name that fits a string of the resource script and a file name on Windows.
_FILE_NAME = re.compile(r'[^\\/:*?"<>|;\x00-\x20]+')
TIME_FIELDS = ("creation", "last access", "last write")


class TableError(Exception):
    pass


@dataclass
class Payload:
    resource_id: int
    name: str
    times: tuple  # the three times as written in the table
    filetimes: tuple  # the same as FILETIME values: creation, last access, last write
    line: int


def first_payload_id(header=RESOURCE_IDS_HEADER):
    match = re.search(r"^#define\s+FENN_FIRST_PAYLOAD_ID\s+(\d+)", header.read_text(), re.M)
    if not match:
        raise TableError(f"{header}: no FENN_FIRST_PAYLOAD_ID")
    return int(match.group(1))


def filetime(text):
    """The FILETIME value of a table time; ValueError says what is wrong with it."""
    if text.isdigit():
        value = int(text)
    else:
        match = _DATE_TIME.fullmatch(text)
        if not match:
            raise ValueError("is neither a UTC date-time like 2000-06-16T06:25:32.81Z nor a FILETIME")
        *fields, fraction = match.groups()
        if int(fields[0]) < 1601:
            raise ValueError("lies before 1601, where FILETIME starts")
        when = datetime.datetime(*map(int, fields))  # raises on a day or hour that does not exist
        ticks = (fraction or "").ljust(7, "0")
        delta = when - _EPOCH
        value = (delta.days * 86400 + delta.seconds) * FILETIME_TICKS_PER_SECOND + int(ticks)
    if value >= FILETIME_LIMIT:
        raise ValueError("is out of the FILETIME range")
    return value


def read_table(path, first_id=None):
    """The payloads of the table in id order; TableError names the file and line of a fault."""
    path = Path(path)
    first_id = first_payload_id() if first_id is None else first_id
    try:
        lines = path.read_text(encoding="utf-8").splitlines()
    except (OSError, UnicodeError) as error:
        raise TableError(f"{path}: cannot be read: {error}") from None
    payloads, by_id, by_name = [], {}, {}
    for number, raw in enumerate(lines, 1):
        fields = raw.split("#", 1)[0].split()
        if not fields:
            continue

        def fault(message):
            return TableError(f"{path}:{number}: {message}")

        if len(fields) != 5:
            raise fault(f"{len(fields)} fields; a payload line is: id name creation lastAccess lastWrite")
        rid, name, *times = fields
        if not rid.isdigit():
            raise fault(f"id {rid!r} is not a number")
        rid = int(rid)
        if rid in by_id:
            raise fault(f"duplicate id {rid} (first on line {by_id[rid].line})")
        if not _FILE_NAME.fullmatch(name):
            raise fault(f"{name!r} is not a plain file name")
        if name.lower() in by_name:
            raise fault(f"duplicate name {name} (first on line {by_name[name.lower()].line})")
        values = []
        for field, text in zip(TIME_FIELDS, times):
            try:
                values.append(filetime(text))
            except ValueError as error:
                raise fault(f"{field} time {text!r} {error}") from None
        payload = Payload(rid, name, tuple(times), tuple(values), number)
        payloads.append(payload)
        by_id[rid] = by_name[name.lower()] = payload
    if not payloads:
        raise TableError(f"{path}: no payloads")
    known = range(first_id, first_id + len(payloads))
    for payload in payloads:
        if payload.resource_id not in known:
            raise TableError(
                f"{path}:{payload.line}: unknown id {payload.resource_id}: ids run without gaps "
                f"from {first_id}, so {len(payloads)} payloads take {first_id} to {known[-1]}")
    return sorted(payloads, key=lambda p: p.resource_id)


def check_payload_dir(folder, payloads):
    folder = Path(folder)
    if not folder.is_dir() or not os.access(folder, os.R_OK | os.X_OK):
        raise TableError(f"{folder}: payload folder is missing or unreadable")
    for payload in payloads:
        file = folder / payload.name
        try:
            with open(file, "rb") as handle:
                handle.read(1)
        except OSError as error:
            raise TableError(f"{file}: payload {payload.resource_id} cannot be read: "
                             f"{error.strerror}") from None


def main(argv):
    if len(argv) not in (1, 3) or (len(argv) == 3 and argv[1] != "--payload-dir"):
        sys.exit(__doc__)
    try:
        payloads = read_table(argv[0])
        if len(argv) == 3:
            check_payload_dir(argv[2], payloads)
    except TableError as error:
        print(error, file=sys.stderr)
        return 1
    for payload in payloads:
        print(payload.resource_id, payload.name, *payload.times)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
