"""Runs every Wine process of a scenario as root without the capabilities that let root read and
search any folder (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH), so that a folder with mode 000 is one
without access, as it would be for a user on Windows.

The harness starts Wine by name ("wine", and Wine starts its own wineserver); wrappers of those
names, first on PATH, start the real ones through setpriv with the two capabilities dropped from
the inheritable and bounding sets, so that no child of theirs regains them."""

import os
import shutil
import subprocess

from fenntest.errors import Unsupported

DROPPED = "-dac_override,-dac_read_search"


def run_wine_without_root_access(ctx):
    setpriv = shutil.which("setpriv")
    if setpriv is None:
        raise Unsupported("setpriv (util-linux) is not installed")
    probe = subprocess.run([setpriv, f"--inh-caps={DROPPED}", f"--bounding-set={DROPPED}",
                            "--", "true"], capture_output=True, text=True)
    if probe.returncode != 0:
        raise Unsupported(f"cannot drop capabilities here ({probe.stderr.strip()})")
    wrappers = ctx.work / "wine-without-root-access"
    wrappers.mkdir()
    for name in ("wine", "wineserver"):
        real = shutil.which(name)
        script = wrappers / name
        script.write_text(f'#!/bin/sh\nexec {setpriv} --inh-caps={DROPPED} '
                          f'--bounding-set={DROPPED} -- {real} "$@"\n')
        script.chmod(0o755)
    old_path = os.environ.get("PATH", "")
    os.environ["PATH"] = f"{wrappers}{os.pathsep}{old_path}"
    ctx.on_close(lambda: os.environ.__setitem__("PATH", old_path), after_wine=True)
    ctx.log("Wine runs without root's access to every folder")
