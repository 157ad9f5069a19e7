#!/usr/bin/env python3
"""Runs one fault scenario against a win64 build under Wine and Xvfb.

    run_fault.py <scenario> --build-dir <win64 build folder> [--keep]
    run_fault.py --list

Screenshots land in <build>/faults/screenshots/. Exit code 77 means the machine does not allow
the fault (the reason is printed); CTest counts it as skipped.
"""

import argparse
import sys
import time
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))
sys.path.insert(1, str(HERE.parent))  # fenntest

from cases import SCENARIOS  # noqa: E402
from faultlib import Unsupported  # noqa: E402
from faultlib.context import FaultContext  # noqa: E402
from fenntest.build_outputs import BuildOutputs  # noqa: E402
from fenntest.errors import ScenarioFailure  # noqa: E402

SKIPPED = 77


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", nargs="?")
    parser.add_argument("--build-dir", default="build/win64")
    parser.add_argument("--keep", action="store_true", help="keep the scenario folder")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    if args.list:
        print("\n".join(sorted(SCENARIOS)))
        return 0
    if args.scenario not in SCENARIOS:
        parser.error(f"unknown scenario {args.scenario!r}; --list shows them")

    started = time.monotonic()
    ctx = FaultContext(args.scenario, args.build_dir, keep=args.keep)
    verdict, code = "FAILED", 1
    try:
        SCENARIOS[args.scenario](ctx, BuildOutputs(args.build_dir))
        verdict, code = "passed", 0
    except Unsupported as reason:
        print(f"[{args.scenario}] SKIPPED: {reason}", flush=True)
        verdict, code = "skipped", SKIPPED
    except ScenarioFailure as failure:
        print(f"[{args.scenario}] FAILED: {failure}", file=sys.stderr)
    except Exception:  # a harness fault: show where, and still clean up
        traceback.print_exc()
    finally:
        ctx.close(code != 1)
    print(f"[{args.scenario}] {verdict} in {time.monotonic() - started:.1f}s", flush=True)
    return code


if __name__ == "__main__":
    sys.exit(main())
