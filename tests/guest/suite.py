#!/usr/bin/env python3
"""The i686 build's suite, run inside the test guest, where 32-bit Wine can run it: the codec
library's tests through LoadLibrary/GetProcAddress, the platform tests (PlatformContract/Win32,
tests/win32), and the end-to-end and fault scenarios, in each prefix baked into the image (a
32-bit one, and a 64-bit one where the setup runs under WoW64).

    suite.py --build-dir BUILD --results DIR [--prefix win32|win64 ...] [--only NAME ...]

BUILD is the win32 build as the host sees it (the host shares its source tree at the same path).
Each prefix gets a build folder of its own in the guest (links to the build's files, and the
baked prefix as the build's template), so the scenarios' prefix copies stay on the guest's disk.
Every case's output goes to DIR/<prefix>/<case>.log, its screenshots to DIR/<prefix>/screenshots,
and the completed panel of a full installation to DIR/<prefix>/panel.png.
"""

import argparse
import os
import shutil
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

sys.dont_write_bytecode = True
REPO = Path(__file__).resolve().parents[2]
BAKED = Path("/var/lib/fenn/prefixes")
GUEST_BUILDS = Path("/var/tmp/fenn")
# The toolkit's bytecode, on the guest's disk: compiled once here instead of by every case (some
# 3 s each under the emulated processor), and never written into the shared source tree.
PYCACHE = GUEST_BUILDS / "pycache"
SKIPPED = 77
# The prefixes the test programs run in (as wine-run and run-platform-tests name them); each goes
# once its program has passed, as the scenarios' prefixes do: the guest's disk is not endless.
CASE_PREFIXES = {("codec", "release"): "codec-release", ("codec", "debug"): "codec-debug",
                 ("platform", None): "platform", ("platform", "144"): "platform-dpi144"}
COPIED_PROGRAMS = {
    "codec": ["codec_tests.exe", "CompLib.dll", "debug/CompLib.dll"],
    "win32": ["fenn_win32_tests.exe"],
}

WINE_RUN = REPO / "scripts" / "wine-run"
SCENARIO = REPO / "tests" / "fenntest" / "run_scenario.py"
PLATFORM = REPO / "tests" / "win32" / "run-platform-tests"

# What runs in which prefix. The 32-bit prefix runs all of it; the WoW64 one the scenarios where
# the system directory a 32-bit program sees (syswow64) can make a difference.
E2E_EVERYWHERE = ["all_payloads", "run_updater", "corrupt_payload", "planted_library",
                  "existing_codec", "codec_not_writable"]
E2E_32_ONLY = ["probe", "not_found", "default_folder", "registry", "drive_search", "cancel",
               "updater_missing", "blocked_target"]
# Only where a folder for 32-bit programs of its own exists: on 32-bit Windows it is
# "C:\\Program Files" itself.
E2E_WOW64_ONLY = ["program_files_x86"]
FAULTS_EVERYWHERE = ["undeletable_codec"]
FAULTS_32_ONLY = ["registry_types", "temp_missing", "locked_product_file"]
# Cases that take several setup runs, about the longest first: the suite starts them first, so
# that the short ones fill the gaps at the end instead of one long case running alone.
LONG_CASES = ["fault_undeletable_codec", "e2e_blocked_target", "codec.dll.release",
              "codec.dll.debug", "win32_platform", "win32_panel_144dpi", "e2e_cancel"]


def cases_for(arch):
    """(name, kind, argument) of every case of one prefix."""
    cases = []
    if arch == "win32":
        cases += [("codec.dll.release", "codec", "release"), ("codec.dll.debug", "codec", "debug"),
                  ("win32_platform", "platform", None),
                  ("win32_panel_144dpi", "platform", "144")]
    e2e = E2E_EVERYWHERE + (E2E_32_ONLY if arch == "win32" else E2E_WOW64_ONLY)
    faults = FAULTS_EVERYWHERE + (FAULTS_32_ONLY if arch == "win32" else [])
    cases += [(f"e2e_{name}", "e2e", name) for name in e2e]
    cases += [(f"fault_{name}", "fault", name) for name in faults]
    return cases


def guest_build(build_dir, arch):
    """A build folder of the guest's own for one prefix: links to the build's files and a copy
    of the baked prefix as its template."""
    local = GUEST_BUILDS / arch
    if local.exists():
        shutil.rmtree(local)
    local.mkdir(parents=True)
    for entry in build_dir.iterdir():
        if entry.name not in ("wine", "e2e", "faults", "guest", "demo", "Testing", "tests"):
            (local / entry.name).symlink_to(entry)
    for entry in (build_dir / "tests").iterdir():
        if entry.name not in COPIED_PROGRAMS:
            (local / "tests").mkdir(exist_ok=True)
            (local / "tests" / entry.name).symlink_to(entry)
    # Wine maps a program's image from its file, and a shared folder (9p) does not give it the
    # pages: programs run from the guest's own disk.
    for folder, names in COPIED_PROGRAMS.items():
        for name in names:
            target = local / "tests" / folder / name
            target.parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(build_dir / "tests" / folder / name, target)
    (local / "wine").mkdir()
    # Hard links: a full copy of both prefixes (1.9 GB) took some 30 s of the emulated machine
    # before the first case. Nothing writes into a template; the cases' copies of it get files of
    # their own for all but Wine's libraries (prefix.py), and the run's disk is thrown away.
    subprocess.run(["cp", "-al", str(BAKED / arch), str(local / "wine" / "template")], check=True)
    return local


def command_of(kind, argument, build_dir, local):
    """(argv, extra environment, working folder) of one case."""
    if kind == "codec":
        exe = local / "tests" / "codec" / "codec_tests.exe"
        env = {"FENN_TEST_PREFIX": str(local / "wine" / CASE_PREFIXES[kind, argument]),
               "FENN_WINE_TEMPLATE": str(local / "wine" / "template")}
        return [str(WINE_RUN), str(exe), f"--dll={argument}"], env, exe.parent
    if kind == "platform":
        exe = local / "tests" / "win32" / "fenn_win32_tests.exe"
        argv = [str(PLATFORM), str(WINE_RUN), str(exe)]
        env = {}
        if argument:
            argv.append("--gtest_filter=PanelTest.*")
            env["FENN_TEST_DPI"] = argument
        return argv, env, local
    return ["python3", str(SCENARIO), argument, "--build-dir", str(local)], {}, local


def attempt(argv, env, cwd, log_path, timeout):
    """Runs one case once, its output into log_path; its exit status (-1 when stopped)."""
    with open(log_path, "wb") as log:
        try:
            return subprocess.run(argv, env=env, cwd=cwd, stdout=log, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            log.write(f"\n(not ended within {timeout} s)\n".encode())
            return -1


def run_case(arch, name, kind, argument, build_dir, local, results, timeout):
    argv, extra, cwd = command_of(kind, argument, build_dir, local)
    log_path = results / f"{name}.log"
    # The emulated processor is many times slower than the host's: the toolkit waits longer.
    env = {**os.environ, "FENN_PATIENCE": os.environ.get("FENN_PATIENCE", "4"),
           "PYTHONPYCACHEPREFIX": str(PYCACHE), **extra}
    env.pop("DISPLAY", None)
    started = time.monotonic()
    status = attempt(argv, env, cwd, log_path, timeout)
    seconds = time.monotonic() - started
    verdict = {0: "passed", SKIPPED: "skipped"}.get(status, "FAILED")
    if verdict == "passed" and (kind, argument) in CASE_PREFIXES:
        shutil.rmtree(local / "wine" / CASE_PREFIXES[kind, argument], ignore_errors=True)
    logs = [log_path] if verdict == "FAILED" else []
    again = ""
    if verdict == "FAILED" and kind in ("e2e", "fault"):
        # The verdict is the first run's. A second run only adds a log to compare: a fault that
        # comes and goes shows in the difference between the two.
        second = results / f"{name}.second-run.log"
        again_status = attempt(argv, env, cwd, second, timeout)
        again = f"; its second run, for the log: {'passed' if again_status == 0 else 'failed'}"
        logs.append(second)
    print(f"[{arch}] {name}: {verdict} ({seconds:.0f} s){again}", flush=True)
    for log in logs:
        tail = log.read_text(errors="replace").splitlines()[-25:]
        print(f"    --- {log.name}", flush=True)
        print("\n".join(f"    {line}" for line in tail), flush=True)
    return verdict


def collect_screenshots(local, results):
    shots = results / "screenshots"
    shots.mkdir(exist_ok=True)
    for area in ("e2e", "faults"):
        for png in sorted((local / area / "screenshots").glob("*.png")):
            shutil.copyfile(png, shots / png.name)
    panel = shots / "all_payloads-completed.png"
    if panel.is_file():
        shutil.copyfile(panel, results / "panel.png")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--prefix", action="append", choices=["win32", "win64"])
    parser.add_argument("--only", action="append", help="run only these cases")
    # Only a guard against a hang: the scenarios keep their own limits, and the longest case took
    # some 250 s beside a busy host.
    parser.add_argument("--timeout", type=int, default=1500, help="seconds per case")
    parser.add_argument("--jobs", type=int, default=2, help="cases run side by side")
    args = parser.parse_args()
    build_dir = Path(args.build_dir)
    counts = {"passed": 0, "skipped": 0, "FAILED": 0}
    started = time.monotonic()
    arches = args.prefix or ["win32", "win64"]
    locals_ = {arch: guest_build(build_dir, arch) for arch in arches}
    subprocess.run([sys.executable, "-m", "compileall", "-q", str(REPO / "tests")],
                   env={**os.environ, "PYTHONPYCACHEPREFIX": str(PYCACHE)},
                   stdout=subprocess.DEVNULL, check=False)
    results = {arch: Path(args.results) / arch for arch in arches}
    chosen = [(arch, *case) for arch in arches for case in cases_for(arch)
              if not args.only or case[0] in args.only]
    chosen.sort(key=lambda case: LONG_CASES.index(case[1]) if case[1] in LONG_CASES
                else len(LONG_CASES))
    for folder in results.values():
        folder.mkdir(parents=True, exist_ok=True)
    # Two at a time, from both prefixes: a scenario spends much of its time waiting for a window,
    # and each case has its own prefix, display and wineserver.
    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        verdicts = pool.map(lambda case: run_case(*case, build_dir, locals_[case[0]],
                                                  results[case[0]], args.timeout), chosen)
        for verdict in verdicts:
            counts[verdict] += 1
    for arch in arches:
        collect_screenshots(locals_[arch], results[arch])
    print(f"cases of both prefixes done in {time.monotonic() - started:.0f} s", flush=True)
    print(f"guest suite: {counts['passed']} passed, {counts['skipped']} skipped, "
          f"{counts['FAILED']} failed", flush=True)
    return 1 if counts["FAILED"] or not counts["passed"] else 0


if __name__ == "__main__":
    sys.exit(main())
