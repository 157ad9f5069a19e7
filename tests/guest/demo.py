#!/usr/bin/env python3
"""The demo of the i686 build inside the test guest: tools/demo/demo.py, headless, in each baked
prefix, with its screenshots copied to DIR/<prefix>/.

    demo.py --build-dir BUILD --results DIR [--prefix win32|win64 ...]
"""

import argparse
import shutil
import subprocess
import sys
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parent))

from suite import GUEST_BUILDS, REPO, guest_build  # noqa: E402

DEMO = REPO / "tools" / "demo" / "demo.py"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--prefix", action="append", choices=["win32", "win64"])
    args = parser.parse_args()
    failed = 0
    for arch in args.prefix or ["win32"]:
        print(f"==== the demo in the {arch} prefix", flush=True)
        local = guest_build(Path(args.build_dir), arch)
        out_dir = GUEST_BUILDS / f"demo-{arch}"
        shutil.rmtree(out_dir, ignore_errors=True)
        status = subprocess.run(["python3", "-B", str(DEMO), "--build-dir", str(local),
                                 "--headless", "--out-dir", str(out_dir)]).returncode
        results = Path(args.results) / arch
        results.mkdir(parents=True, exist_ok=True)
        for png in sorted(out_dir.glob("*.png")):
            shutil.copyfile(png, results / png.name)
            print(f"screenshot {png.name} -> {results / png.name}", flush=True)
        failed += status != 0
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
