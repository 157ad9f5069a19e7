#!/usr/bin/env python3
"""Bakes the guest's two Wine prefixes into its image, as the host toolkit makes its template
(Korean locale, no Z: drive): a 32-bit one (WINEARCH=win32) and a 64-bit one, where a 32-bit
program runs under WoW64. Runs inside the guest, once, when the image is built."""

import sys
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[1]))  # fenntest

from fenntest.prefix import READY_STAMP, boot  # noqa: E402

PREFIXES = Path("/var/lib/fenn/prefixes")
ARCHES = ("win32", "win64")


def bake(arch):
    """Makes one prefix; an error text, or None."""
    started = time.monotonic()
    path = PREFIXES / arch
    boot(path, arch)
    wow64 = (path / "drive_c" / "windows" / "syswow64").is_dir()
    if wow64 != (arch == "win64"):
        return f"bake: {arch} prefix has{'' if wow64 else ' no'} syswow64"
    (path / READY_STAMP).touch()
    print(f"bake: {arch} prefix in {time.monotonic() - started:.0f} s", flush=True)
    return None


def main():
    # Both at once: each wineboot spends much of its time in one process at a time, and the
    # guest has two processors.
    with ThreadPoolExecutor(max_workers=len(ARCHES)) as pool:
        errors = [error for error in pool.map(bake, ARCHES) if error]
    for error in errors:
        print(error, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
