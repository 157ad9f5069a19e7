#!/usr/bin/env python3
"""Static checks of the resources of a built FennSetup.exe and of both CompLib.dll builds.

FennSetup.exe: the payload catalogue of payloads.txt in Korean only (string table and "CUSTOM"
containers), each container in its stored form (level-9 zlib stream, the recorded trailer right
behind it, zero bytes up to a multiple of four) unpacking to its input file and recording the
table's three times, resource 1001 equal to the release CompLib.dll byte for byte, the icon group,
the manifest. All three files: a Korean version resource with the product's fields.

usage: check_resources.py --table payloads.txt --times table|files --version X.Y.Z
           --setup FennSetup.exe --complib CompLib.dll --complib-debug debug/CompLib.dll
           --inputs PAYLOAD...   (the files packed, in the table's order)
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
sys.path[:0] = [str(HERE.parent), str(RESOURCES), str(HERE)]

from fenntest.pe import RT_GROUP_ICON, RT_ICON, RT_MANIFEST, RT_STRING, RT_VERSION, PeResources  # noqa: E402
from payload_table import read_table  # noqa: E402
import version_info  # noqa: E402

KOREAN = 0x412
TRAILER_SIZE = 24
UNIX_EPOCH_FILETIME = 116444736000000000
failures = []


def fail(message):
    failures.append(message)
    print(f"FAIL: {message}")


def header_ids():
    text = (RESOURCES / "ResourceIds.h").read_text()
    ids = {name: int(value) for name, value in re.findall(r"#define (FENN_\w+_ID) (\d+)", text)}
    ids["type"] = re.search(r'#define FENN_PAYLOAD_TYPE "(\w+)"', text).group(1)
    return ids


def check_listing(pe, payloads, ids):
    """Which resources exist, and in which languages: the catalogue in Korean only."""
    languages = {}
    for leaf in pe.all():
        languages.setdefault((leaf.rtype, leaf.rid), []).append(leaf.language)
    custom = {rid for rtype, rid in languages if rtype == ids["type"]}
    want_custom = {p.resource_id for p in payloads} | {ids["FENN_CODEC_LIBRARY_ID"]}
    if custom != want_custom:
        fail(f'"{ids["type"]}" resources are {sorted(custom)}, want {sorted(want_custom)}')
    bundles = {p.resource_id // 16 + 1 for p in payloads}
    korean_only = [(ids["type"], rid) for rid in want_custom] + [(RT_STRING, b) for b in bundles]
    korean_only.append((RT_VERSION, 1))
    for key in korean_only:
        if languages.get(key) != [KOREAN]:
            fail(f"resource {key} exists in languages {languages.get(key)}, want Korean only")
    strings = {rid for rtype, rid in languages if rtype == RT_STRING}
    if strings != bundles:
        fail(f"string bundles {sorted(strings)}, want {sorted(bundles)}")
    first_image = ids["FENN_ICON_IMAGE_FIRST_ID"]
    for key in [(RT_ICON, first_image), (RT_ICON, first_image + 1),
                (RT_GROUP_ICON, ids["FENN_ICON_GROUP_ID"]), (RT_MANIFEST, 1)]:
        if key not in languages:
            fail(f"no resource {key}")


def check_catalogue(pe, payloads):
    """The string table holds exactly the table's names at their ids."""
    got = {}
    for leaf in pe.all():
        if leaf.rtype == RT_STRING:
            for slot in range(16):
                text = pe.string((leaf.rid - 1) * 16 + slot)
                if text:
                    got[(leaf.rid - 1) * 16 + slot] = text
    want = {p.resource_id: p.name for p in payloads}
    if got != want:
        fail(f"string table is {got}, want {want}")


def filetime_of_mtime(path):
    return os.stat(path).st_mtime_ns // 100 + UNIX_EPOCH_FILETIME


def check_container(pe, payload, ids, input_path, times_from):
    """Stored form, content and recorded times of one payload container."""
    rid = payload.resource_id
    stored = pe.bytes_of(ids["type"], rid)
    if stored is None:
        return fail(f"no container {rid}")
    if len(stored) % 4:
        fail(f"container {rid} is {len(stored)} bytes, not a multiple of four")
    if stored[:2] != b"\x78\xda":
        fail(f"container {rid} does not start with a level-9 zlib header")
    inflater = zlib.decompressobj()
    try:
        content = inflater.decompress(stored) + inflater.flush()
    except zlib.error as error:
        return fail(f"container {rid} does not decode: {error}")
    if not inflater.eof or content != Path(input_path).read_bytes():
        fail(f"container {rid} does not unpack to {input_path}")
    behind = inflater.unused_data
    if len(behind) - TRAILER_SIZE not in range(4) or behind[TRAILER_SIZE:].strip(b"\0"):
        return fail(f"container {rid}: {len(behind)} bytes behind the stream, want the trailer "
                    "and up to three zero bytes")
    recorded = struct.unpack_from("<QQQ", behind)
    if times_from == "table" and recorded != payload.filetimes:
        fail(f"container {rid} records the times {recorded}, the table {payload.filetimes} "
             f"({', '.join(payload.times)})")
    if times_from == "files" and recorded[2] != filetime_of_mtime(input_path):
        fail(f"container {rid} records the last-write time {recorded[2]}, its input "
             f"{filetime_of_mtime(input_path)}")


def check_icon_and_manifest(pe, ids):
    group = pe.bytes_of(RT_GROUP_ICON, ids["FENN_ICON_GROUP_ID"]) or b"\0" * 6
    _, kind, count = struct.unpack_from("<HHH", group)
    images = sorted((image[7], image[0], image[1], image[5]) for image in (
        struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(count)))
    first = ids["FENN_ICON_IMAGE_FIRST_ID"]
    if (kind, images) != (1, [(first, 16, 16, 8), (first + 1, 32, 32, 8)]):
        fail(f"icon group holds {images}")
    manifest = (pe.bytes_of(RT_MANIFEST, 1) or b"").decode("utf-8", "replace")
    for what, pattern in [("elevation", r'level="requireAdministrator"'),
                          ("common controls 6", r"Microsoft\.Windows\.Common-Controls"),
                          ("DPI awareness", r"<dpiAware[^>]*>true</dpiAware>")]:
        if not re.search(pattern, manifest):
            fail(f"manifest: no {what}")


def check_version(path, file_name, version, debug):
    """The Korean version resource: version numbers from the project version, the product's
    fields, the file's own names."""
    pe = PeResources.from_file(path)
    found = pe.find(RT_VERSION, 1)
    if found is None:
        return fail(f"{path}: no version resource")
    info = version_info.parse(pe.bytes_of(RT_VERSION, 1))
    numbers = tuple(map(int, version.split("."))) + (0,) * (4 - len(version.split(".")))
    if (info.file_version, info.product_version) != (numbers, numbers):
        fail(f"{path}: version {info.file_version}/{info.product_version}, want {numbers}")
    if info.translations != [(KOREAN, 1200)] or list(info.strings) != ["041204B0"]:
        fail(f"{path}: version texts in {list(info.strings)} {info.translations}, want Korean")
    texts = next(iter(info.strings.values()), {})
    want = {"CompanyName": "Valto Corp.", "ProductName": "톨바리네 2000",
            "FileVersion": version, "ProductVersion": version,
            "InternalName": file_name, "OriginalFilename": file_name}
    for key, text in want.items():
        if texts.get(key) != text:
            fail(f"{path}: {key} is {texts.get(key)!r}, want {text!r}")
    if not texts.get("FileDescription"):
        fail(f"{path}: no FileDescription")
    if not re.fullmatch(r"Copyright \(C\) 2000-\d{4} Valto Corp\.", texts.get("LegalCopyright", "")):
        fail(f"{path}: LegalCopyright is {texts.get('LegalCopyright')!r}")
    if bool(info.file_flags & 1) != debug:  # VS_FF_DEBUG
        fail(f"{path}: debug flag is {bool(info.file_flags & 1)}, want {debug}")
    return texts.get("FileDescription")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--table", "--version", "--setup", "--complib", "--complib-debug"):
        parser.add_argument(option, required=True)
    parser.add_argument("--times", choices=("table", "files"), required=True)
    parser.add_argument("--inputs", nargs="+", required=True)
    args = parser.parse_args()

    payloads = read_table(args.table)
    if len(args.inputs) != len(payloads):
        sys.exit(f"{len(args.inputs)} inputs for {len(payloads)} payloads")
    ids = header_ids()
    pe = PeResources.from_file(args.setup)
    check_listing(pe, payloads, ids)
    check_catalogue(pe, payloads)
    for payload, input_path in zip(payloads, args.inputs):
        check_container(pe, payload, ids, input_path, args.times)
    if pe.bytes_of(ids["type"], ids["FENN_CODEC_LIBRARY_ID"]) != Path(args.complib).read_bytes():
        fail(f"resource {ids['FENN_CODEC_LIBRARY_ID']} differs from {args.complib}")
    check_icon_and_manifest(pe, ids)
    descriptions = [check_version(args.setup, "FennSetup.exe", args.version, False),
                    check_version(args.complib, "CompLib.DLL", args.version, False),
                    check_version(args.complib_debug, "CompLib.DLL", args.version, True)]
    if len(set(descriptions)) != 3:
        fail(f"the three files do not describe themselves apart: {descriptions}")
    print(f"resource checks of {args.setup}: {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
