#!/usr/bin/env python3
"""Static checks of a built FennSetup.exe and both CompLib.dll builds, read with fenntest.pe.

The payload catalogue of payloads.txt in Korean only; each container in its stored form (level-9
zlib stream, the recorded trailer right behind it, zero bytes up to a multiple of four), unpacking
to its input and recording the table's times; resource 1001 equal to the release CompLib.dll; the
icon group; the manifest; in all three files a Korean version resource with the product's fields.

usage: check_resources.py --table T --times table|files --version X.Y.Z --setup EXE
           --complib DLL --complib-debug DLL --inputs PAYLOAD...   (in the table's order)
"""
import argparse
import os
import re
import struct
import sys
import zlib
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
RESOURCES = HERE.parents[1] / "Updater" / "FennSetup" / "resources"
sys.path[:0] = [str(HERE.parent), str(RESOURCES)]

from fenntest.pe import RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_STRING, RT_VERSION, PeResources  # noqa: E402
from payload_table import read_table  # noqa: E402
from version_info import parse as parse_version  # noqa: E402

KOREAN = 0x412
UNIX_EPOCH_FILETIME = 116444736000000000
failures = []


def fail(message):
    failures.append(message)
    print(f"FAIL: {message}")


def check_setup(pe, payloads, inputs, times_from, complib):
    ids = dict(re.findall(r'#define (FENN_\w+) "?(\w+)"?', (RESOURCES / "ResourceIds.h").read_text()))
    kind, codec_id = ids["FENN_PAYLOAD_TYPE"], int(ids["FENN_CODEC_LIBRARY_ID"])
    first_image, group_id = int(ids["FENN_ICON_IMAGE_FIRST_ID"]), int(ids["FENN_ICON_GROUP_ID"])
    languages = {}
    for leaf in pe.all():
        languages.setdefault((leaf.rtype, leaf.rid), []).append(leaf.language)
    # The catalogue, the codec library and the version exist in Korean only, and nothing else
    # of their kind exists.
    bundles = {p.resource_id // 16 + 1 for p in payloads}
    want = {(kind, p.resource_id) for p in payloads} | {(kind, codec_id), (RT_VERSION, 1)}
    want |= {(RT_STRING, bundle) for bundle in bundles}
    got = {key for key in languages if key[0] in (kind, RT_STRING, RT_VERSION)}
    if got != want:
        fail(f"resources {sorted(map(str, got))}, want {sorted(map(str, want))}")
    for key in want & got:
        if languages[key] != [KOREAN]:
            fail(f"resource {key} exists in languages {languages[key]}, want Korean only")
    for key in [(RT_ICON, first_image), (RT_ICON, first_image + 1), (RT_GROUP_ICON, group_id),
                (RT_MANIFEST, 1)]:
        if key not in languages:
            fail(f"no resource {key}")
    names = {sid: pe.string(sid) for b in bundles for sid in range(b * 16 - 16, b * 16)}
    names = {sid: name for sid, name in names.items() if name}
    if names != {p.resource_id: p.name for p in payloads}:
        fail(f"string table is {names}")

    for payload, input_path in zip(payloads, inputs):
        check_container(pe.bytes_of(kind, payload.resource_id) or b"", payload, input_path,
                        times_from)
    if pe.bytes_of(kind, codec_id) != Path(complib).read_bytes():
        fail(f"resource {codec_id} differs from {complib}")

    group = pe.bytes_of(RT_GROUP_ICON, group_id) or b"\0" * 6
    count = struct.unpack_from("<H", group, 4)[0]
    images = sorted((image[7], image[0], image[1], image[5]) for image in (
        struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)))
    if images != [(first_image, 16, 16, 8), (first_image + 1, 32, 32, 8)]:
        fail(f"icon group holds {images}")
    manifest = (pe.bytes_of(RT_MANIFEST, 1) or b"").decode("utf-8", "replace")
    for pattern in [r'level="requireAdministrator"', r"Microsoft\.Windows\.Common-Controls",
                    r"<dpiAware[^>]*>true</dpiAware>"]:
        if not re.search(pattern, manifest):
            fail(f"manifest lacks {pattern}")


def check_container(stored, payload, input_path, times_from):
    rid = payload.resource_id
    if len(stored) % 4 or stored[:2] != b"\x78\xda":
        fail(f"container {rid} ({len(stored)} bytes) is no level-9 stream padded to four bytes")
    inflater = zlib.decompressobj()
    try:
        content = inflater.decompress(stored) + inflater.flush()
    except zlib.error as error:
        return fail(f"container {rid} does not decode: {error}")
    if not inflater.eof or content != Path(input_path).read_bytes():
        fail(f"container {rid} does not unpack to {input_path}")
    behind = inflater.unused_data
    if len(behind) - 24 not in range(4) or behind[24:].strip(b"\0"):
        return fail(f"container {rid}: {len(behind)} bytes behind the stream, want the trailer "
                    "and up to three zero bytes")
    recorded = struct.unpack_from("<QQQ", behind)
    if times_from == "table" and recorded != payload.filetimes:
        fail(f"container {rid} records {recorded}, the table {payload.times} {payload.filetimes}")
    input_write = os.stat(input_path).st_mtime_ns // 100 + UNIX_EPOCH_FILETIME
    if times_from == "files" and recorded[2] != input_write:
        fail(f"container {rid} records the last-write time {recorded[2]}, its input {input_write}")


def check_version(path, file_name, version, debug):
    """Returns the file's description; its numbers come from the project version."""
    data = PeResources.from_file(path).bytes_of(RT_VERSION, 1)
    if data is None:
        return fail(f"{path}: no version resource")
    file_version, product_version, flags, tables, translations = parse_version(data)
    numbers = tuple(map(int, version.split("."))) + (0,)
    if (file_version, product_version, bool(flags & 1)) != (numbers, numbers, debug):
        fail(f"{path}: version {file_version}/{product_version}, debug {bool(flags & 1)}")
    if translations != [(KOREAN, 1200)] or list(tables) != ["041204B0"]:
        fail(f"{path}: version texts {list(tables)} {translations}, want Korean")
    texts = next(iter(tables.values()), {})
    want = {"CompanyName": "Valto Corp.", "ProductName": "톨바리네 2000", "FileVersion": version,
            "ProductVersion": version, "InternalName": file_name, "OriginalFilename": file_name}
    for key, text in want.items():
        if texts.get(key) != text:
            fail(f"{path}: {key} is {texts.get(key)!r}, want {text!r}")
    if not re.fullmatch(r"Copyright \(C\) 2000-\d{4} Valto Corp\.", texts.get("LegalCopyright", "")):
        fail(f"{path}: LegalCopyright is {texts.get('LegalCopyright')!r}")
    return texts.get("FileDescription")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--table", "--times", "--version", "--setup", "--complib", "--complib-debug"):
        parser.add_argument(option, required=True)
    parser.add_argument("--inputs", nargs="+", required=True)
    args = parser.parse_args()
    payloads = read_table(args.table)
    if len(args.inputs) != len(payloads):
        sys.exit(f"{len(args.inputs)} inputs for {len(payloads)} payloads")
    check_setup(PeResources.from_file(args.setup), payloads, args.inputs, args.times, args.complib)
    descriptions = {check_version(args.setup, "FennSetup.exe", args.version, False),
                    check_version(args.complib, "CompLib.DLL", args.version, False),
                    check_version(args.complib_debug, "CompLib.DLL", args.version, True)}
    if len(descriptions - {None, ""}) != 3:
        fail(f"the three files do not each describe themselves: {descriptions}")
    print(f"resource checks of {args.setup}: {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
