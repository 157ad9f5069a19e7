#!/usr/bin/env python3
"""Runs one end-to-end scenario against a win64 build under Wine and Xvfb.

    run_scenario.py <scenario> --build-dir <win64 build folder> [--keep]
    run_scenario.py --list

Screenshots of every end state land in <build>/e2e/screenshots/.
"""

import argparse
import sys
import time
import traceback
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(1, str(Path(__file__).resolve().parent.parent))  # fenntest

from fenntest.build_outputs import BuildOutputs  # noqa: E402
from fenntest.context import ScenarioContext  # noqa: E402
from fenntest.errors import ScenarioFailure  # noqa: E402
from fenntest.prefix import ensure_template, template_of  # noqa: E402
from scenarios import SCENARIOS  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("scenario", nargs="?")
    parser.add_argument("--build-dir", default="build/win64")
    parser.add_argument("--keep", action="store_true", help="keep the scenario folder")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--make-template", action="store_true",
                        help="make the build's template prefix unless it exists, and stop")
    args = parser.parse_args()
    if args.list:
        print("\n".join(sorted(SCENARIOS)))
        return 0
    if args.make_template:
        ensure_template(template_of(args.build_dir))
        return 0
    if args.scenario not in SCENARIOS:
        parser.error(f"unknown scenario {args.scenario!r}; --list shows them")

    started = time.monotonic()
    ctx = ScenarioContext(args.scenario, args.build_dir, keep=args.keep)
    succeeded = False
    try:
        SCENARIOS[args.scenario](ctx, BuildOutputs(args.build_dir))
        succeeded = True
    except ScenarioFailure as failure:
        print(f"[{args.scenario}] FAILED: {failure}", file=sys.stderr)
    except Exception:  # a harness fault: show where, and still clean up
        traceback.print_exc()
    finally:
        ctx.close(succeeded)
    verdict = "passed" if succeeded else "FAILED"
    print(f"[{args.scenario}] {verdict} in {time.monotonic() - started:.1f}s", flush=True)
    return 0 if succeeded else 1


if __name__ == "__main__":
    sys.exit(main())
