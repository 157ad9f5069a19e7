#!/usr/bin/env python3
"""Runs one end-to-end or fault scenario against a Windows build under Wine and Xvfb.

    run_scenario.py <scenario> --build-dir <build folder> [--keep]
    run_scenario.py --list
    run_scenario.py --make-template --build-dir <build folder>

The end-to-end scenarios (tests/e2e/scenarios) keep their folders and screenshots under
<build>/e2e, the fault scenarios (tests/faults/cases) under <build>/faults. Exit code 77 means the
machine does not allow the fault (the reason is printed); CTest counts it as skipped.
"""

import argparse
import os
import sys
import time
import traceback
from pathlib import Path

# Keep the source tree clean: bytecode only where PYTHONPYCACHEPREFIX puts it elsewhere (the
# test guest, where compiling the toolkit anew costs seconds for every scenario).
sys.dont_write_bytecode = not os.environ.get("PYTHONPYCACHEPREFIX")
TESTS = Path(__file__).resolve().parents[1]
# The toolkit's folders come after the standard library's, and the script's own folder (whose
# modules are fenntest's) goes: every import of the standard library looks in each folder before
# its own, and in the test guest these lie on a shared folder, where each look is a round trip
# to the host (a few seconds of every scenario).
standard = [p for p in sys.path[1:] if "-packages" not in p]
sys.path[:] = [*standard, str(TESTS), str(TESTS / "e2e"), str(TESTS / "faults"),
               *(p for p in sys.path[1:] if p not in standard)]

from cases import SCENARIOS as FAULTS  # noqa: E402
from faultlib.mounts import unmount_below  # noqa: E402
from fenntest.build_outputs import BuildOutputs  # noqa: E402
from fenntest.context import ScenarioContext  # noqa: E402
from fenntest.errors import ScenarioFailure, Unsupported  # noqa: E402
from fenntest.prefix import ensure_template, template_of  # noqa: E402
from scenarios import SCENARIOS as E2E  # noqa: E402

SKIPPED = 77
AREAS = {**{name: ("e2e", run) for name, run in E2E.items()},
         **{name: ("faults", run) for name, run in FAULTS.items()}}


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
        print("\n".join(sorted(AREAS)))
        return 0
    if args.make_template:
        ensure_template(template_of(args.build_dir))
        return 0
    if args.scenario not in AREAS:
        parser.error(f"unknown scenario {args.scenario!r}; --list shows them")
    area, scenario = AREAS[args.scenario]

    started = time.monotonic()
    # A folder kept from a killed run may still hold its mounts; the context removes it.
    unmount_below(Path(args.build_dir).resolve() / area / "runs" / args.scenario)
    ctx = ScenarioContext(args.scenario, args.build_dir, keep=args.keep, area=area)
    verdict, code = "FAILED", 1
    try:
        scenario(ctx, BuildOutputs(args.build_dir))
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
