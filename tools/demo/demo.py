#!/usr/bin/env python3
"""The demo: a fresh Wine prefix with a sample installation of the product, and the setup run
on it.

With a display ($DISPLAY), the setup shows on it and the demo waits until the person ends it.
Without one, it runs on a private Xvfb display: the demo waits for the completed panel, saves
a screenshot, lists the installed files with their times, presses Run and shows that the
updater started. Everything the demo started is ended by its own id before it returns.

    demo.py --build-dir build/win64 [--headless]
"""

import argparse
import datetime
import os
import shutil
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tests"))  # the fenntest toolkit

from fenntest.build_outputs import BuildOutputs  # noqa: E402
from fenntest.context import PROGRAM_FOLDER  # noqa: E402
from fenntest.patience import wait_until  # noqa: E402
from fenntest.desktop import DesktopRun  # noqa: E402
from fenntest.display import VirtualDisplay  # noqa: E402
from fenntest.errors import ScenarioFailure  # noqa: E402
from fenntest.payloads import read_payloads, unix_ns  # noqa: E402
from fenntest.prefix import clone_prefix, ensure_template, template_of  # noqa: E402
from fenntest.product import (DEFAULT_FOLDER, PANEL_TITLE, STAGED_CODEC,  # noqa: E402
                              UPDATER_MARKER, find_case_insensitive, lay_out_product,
                              updater_start)


def utc(ns):
    moment = datetime.datetime.fromtimestamp(ns / 1e9, tz=datetime.timezone.utc)
    return moment.strftime("%Y-%m-%d %H:%M:%S UTC")


def filetime_text(filetime):
    return utc(unix_ns(filetime))


def show_payloads(payloads):
    print("Payloads carried by FennSetup.exe (resource id, target name, size, trailer times):")
    for p in payloads:
        print(f"  {p.resource_id}  {p.name:<13} {len(p.content):>8} bytes  "
              f"written {filetime_text(p.last_write)}, accessed {filetime_text(p.last_access)}")


def show_product_folder(folder, payloads):
    print(f"Product folder {DEFAULT_FOLDER} (host: {folder}):")
    expected = {p.name: p for p in payloads}
    for entry in sorted(folder.iterdir(), key=lambda e: e.name.lower()):
        info = entry.stat()
        note = ""
        if entry.name in expected:
            same = entry.read_bytes() == expected[entry.name].content
            note = "  <- installed, " + ("content matches the payload" if same
                                         else "CONTENT DIFFERS FROM THE PAYLOAD")
        print(f"  {entry.name:<15} {info.st_size:>8} bytes  last written {utc(info.st_mtime_ns)}"
              f"{note}")
    skipped = [p.name for p in payloads if not (folder / p.name).exists()]
    if skipped:
        print(f"  (not installed: {', '.join(skipped)}; the Windows system directory of this "
              "prefix already has them)")


def show_codec(vxtool, out_dir):
    """The codec on the build host: a sample packed, inspected and unpacked again by vxtool."""
    if vxtool is None:
        print("(no host vxtool in this build: skipping the codec round trip)")
        return
    work = out_dir / "codec"
    work.mkdir(exist_ok=True)
    sample = work / "sample.txt"
    sample.write_text("톨바리네 2000 sample line\n" * 2000, encoding="utf-8")
    packed, unpacked = work / "sample.vx", work / "sample.out"
    print(f"Codec round trip with {vxtool}:")
    subprocess.run([str(vxtool), "pack", "-f", "-l", "9", str(sample), str(packed)], check=True)
    info = subprocess.run([str(vxtool), "info", str(packed)], check=True, capture_output=True,
                          text=True).stdout
    print("  $ vxtool info sample.vx\n" + "".join(f"    {line}\n" for line in info.splitlines()),
          end="")
    subprocess.run([str(vxtool), "unpack", "-f", str(packed), str(unpacked)], check=True)
    same = unpacked.read_bytes() == sample.read_bytes()
    # A trailer keeps times in 100 ns steps.
    times = os.stat(unpacked).st_mtime_ns // 100 == os.stat(sample).st_mtime_ns // 100
    print(f"  {sample.stat().st_size} bytes packed into {packed.stat().st_size}; unpacked copy "
          f"{'matches' if same else 'DIFFERS'}, last-write time "
          f"{'restored' if times else 'NOT restored'}")


def run_on_own_display(prefix, setup_exe):
    """The person drives the setup on their own display; the demo waits for its end."""
    print(f"Showing the setup on {os.environ['DISPLAY']}; end it with its buttons.")
    subprocess.run(["wine", f"{PROGRAM_FOLDER}\\FennSetup.exe"], env=prefix.env(),
                   cwd=str(prefix.path))
    prefix.wait_idle(timeout=3600)


def run_headless(prefix, product, out_dir, on_completed):
    with VirtualDisplay() as display:
        run = DesktopRun(prefix, display, f"{PROGRAM_FOLDER}\\FennSetup.exe",
                         log_path=out_dir / "wine.log").start()
        try:
            panel = run.wait_for_window(PANEL_TITLE)
            print(f"Panel \"{PANEL_TITLE}\" is up on Xvfb {display.name}; waiting for it to "
                  "complete...")
            wait_until(lambda: (product / "K3Fenn.exe").is_file(), 120, "the installed updater")
            wait_until(lambda: find_case_insensitive(prefix.system32, STAGED_CODEC) is None, 60,
                       f"{STAGED_CODEC} removed again")
            time.sleep(1.5)
            run.screenshot(out_dir / "panel.png")
            print(f"Screenshot of the completed panel: {out_dir / 'panel.png'}")
            on_completed()
            print("Pressing Run (Alt+R)...")
            run.press(panel, "alt+r")
            run.wait_exit(timeout=60)
            wait_until(lambda: (product / UPDATER_MARKER).exists(), 30, "the updater's marker")
            time.sleep(1.0)
            run.screenshot(out_dir / "updater.png")
            command_line, folder = updater_start(product, wait_until)
            print(f"The setup has ended; the updater it started left {UPDATER_MARKER} with its "
                  f"command line {command_line} and its working folder {folder}")
            print(f"Screenshot of the started updater: {out_dir / 'updater.png'}")
        finally:
            run.stop()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build-dir", default="build/win64")
    parser.add_argument("--headless", action="store_true", help="use Xvfb even with $DISPLAY")
    parser.add_argument("--out-dir", help="where the prefix and screenshots go "
                        "(default: demo/ beside the build folder)")
    args = parser.parse_args()

    outputs = BuildOutputs(args.build_dir)
    setup_exe = outputs.setup
    payloads = read_payloads(setup_exe)
    out_dir = Path(args.out_dir or Path(args.build_dir).resolve().parent / "demo")
    out_dir.mkdir(parents=True, exist_ok=True)
    show_codec(outputs.host_vxtool, out_dir)
    print(f"Setup under demo: {setup_exe}")
    show_payloads(payloads)

    print("Making a fresh Wine prefix (a copy of the build's template)...")
    prefix = clone_prefix(ensure_template(template_of(args.build_dir)), out_dir / "prefix",
                          outputs.program_bits)
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    target = prefix.host_path(PROGRAM_FOLDER) / "FennSetup.exe"
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copy2(setup_exe, target)
    print(f"Sample installation: the six product files in {DEFAULT_FOLDER}")
    try:
        if os.environ.get("DISPLAY") and not args.headless:
            run_on_own_display(prefix, setup_exe)
            show_product_folder(product, payloads)
            marker = product / UPDATER_MARKER
            if marker.exists():
                print(f"Run started the updater: {marker.read_text(encoding='utf-8').strip()}")
        else:
            run_headless(prefix, product, out_dir, lambda: show_product_folder(product, payloads))
    except ScenarioFailure as failure:
        print(f"demo: {failure}", file=sys.stderr)
        return 1
    finally:
        prefix.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
