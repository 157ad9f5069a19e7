"""The product in its default folder: what a fresh installation, a second run, a system
directory without the two system libraries and a codec library already in place each give."""

import os
import shutil
import time
from pathlib import Path

from fenntest.context import PROGRAM_FOLDER
from fenntest.errors import ScenarioFailure
from fenntest.payloads import read_payload_table
from fenntest.pe import PeResources
from fenntest.product import (DEFAULT_FOLDER, PAYLOAD_NAMES, STAGED_CODEC, SYSTEM_LIBRARIES,
                              lay_out_product, snapshot)

from fenntest.flow import (WITHOUT_SYSTEM_LIBRARIES, SetupUnderTest, check_installed,
                           check_no_leftovers, expect_same, finish, start_setup, wait_completed)

def default_folder(ctx, outputs):
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    system_before = sorted(os.listdir(prefix.system32))

    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES)
    ctx.screenshot(run, "completed")
    # Waiting for the person, the program sleeps until a message comes; a polling loop would burn
    # a whole core here.
    before = run.cpu_seconds()
    time.sleep(3.0)
    idle_cpu = run.cpu_seconds() - before
    ctx.log(f"processor time while the completed panel waited 3 s: {idle_cpu:.2f} s")
    if idle_cpu > 0.3:
        raise ScenarioFailure(f"the waiting program used {idle_cpu:.2f} s of processor time in 3 s")
    finish(ctx, run, "Escape")
    check_installed(setup, product, WITHOUT_SYSTEM_LIBRARIES)
    check_no_leftovers(prefix)
    if sorted(os.listdir(prefix.system32)) != system_before:
        raise ScenarioFailure("the system directory's listing changed")

    # A second run finds every file in place and installs nothing, not even a newer time.
    installed = snapshot(product)
    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES)
    ctx.screenshot(run, "second-run")
    finish(ctx, run, "alt+f")
    expect_same(installed, snapshot(product), "the product folder on the second run")
    check_no_leftovers(prefix)


def all_payloads(ctx, outputs):
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    for name in SYSTEM_LIBRARIES:
        (prefix.system32 / name).unlink()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))

    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run, prefix, product, PAYLOAD_NAMES)
    ctx.screenshot(run, "completed")
    finish(ctx, run, "alt+f")
    # The installed files carry the product's recorded times, from the table the build packed
    # them with (unless it was told to take each file's own).
    table = outputs.payload_table
    if table is not None and not table.is_file():
        raise ScenarioFailure(f"the build's payload table {table} is missing")
    check_installed(setup, product, PAYLOAD_NAMES,
                    recorded=read_payload_table(table) if table else None)
    check_no_leftovers(prefix)
    # The build packed its own stand-ins (when it was not given real payload files): the
    # installed files are those very files.
    for name in PAYLOAD_NAMES:
        source = outputs.payload_input(name)
        if source is not None and source.read_bytes() != (product / name).read_bytes():
            raise ScenarioFailure(f"{name} differs from the file the build packed, {source}")
    for name in SYSTEM_LIBRARIES:
        if (prefix.system32 / name).exists():
            raise ScenarioFailure(f"{name} appeared in the system directory")


def existing_codec(ctx, outputs):
    """A codec library already staged by someone else is used, never written or deleted."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    codec = PeResources(Path(setup.exe).read_bytes()).bytes_of("CUSTOM", 1001)
    staged = prefix.system32 / STAGED_CODEC
    staged.write_bytes(codec)
    old = 978307200_000000000  # 2001-01-01: any rewrite would move it
    os.utime(staged, ns=(old, old))
    before = (staged.read_bytes(), os.stat(staged).st_mtime_ns)

    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES, codec_preexisting=True)
    ctx.screenshot(run, "completed")
    finish(ctx, run, "Escape")
    check_installed(setup, product, WITHOUT_SYSTEM_LIBRARIES)
    if not staged.is_file():
        raise ScenarioFailure(f"the {STAGED_CODEC} that was there before was deleted")
    if (staged.read_bytes(), os.stat(staged).st_mtime_ns) != before:
        raise ScenarioFailure(f"the {STAGED_CODEC} that was there before was rewritten")


def planted_library(ctx, outputs):
    """Libraries named like the codec beside the setup are never loaded: the setup reaches its
    staged codec by full path only."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    beside = prefix.host_path(PROGRAM_FOLDER)
    beside.mkdir(parents=True, exist_ok=True)
    for name in (STAGED_CODEC, "CompLib.dll"):
        shutil.copyfile(outputs.planted_library, beside / name)

    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES)
    finish(ctx, run)
    if (beside / "planted.loaded").exists():
        raise ScenarioFailure("the setup loaded a library planted beside it")
    check_installed(setup, product, WITHOUT_SYSTEM_LIBRARIES)
    check_no_leftovers(prefix)


SCENARIOS = {
    "default_folder": default_folder,
    "all_payloads": all_payloads,
    "existing_codec": existing_codec,
    "planted_library": planted_library,
}
