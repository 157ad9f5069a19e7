"""Extraction failures as a person meets them: a damaged payload inside the executable, and a
target name in the product folder that cannot be replaced."""

import os

from fenntest.errors import ScenarioFailure
from fenntest.flow import (ERROR_TITLE, SetupUnderTest, check_installed, check_no_leftovers,
                           dismiss_box, ended_after_box, expect_same, start_setup,
                           wait_for_files)
from fenntest.payloads import corrupt_payload
from fenntest.product import (DEFAULT_FOLDER, STAGED_CODEC, lay_out_product,
                              leftover_temp_files, snapshot)


def end_after_failure(ctx, run):
    """After the one error box the run ends: the panel goes and the program ends, with no
    completion panel (which would wait for the person) and no second box."""
    dismiss_box(ctx, run, ERROR_TITLE, "error")
    ended_after_box(ctx, run)


def corrupt_payload_102(ctx, outputs):
    """Payload 102 is damaged: CompLib.dll (101) stays, nothing of 102 is left anywhere."""
    damaged = ctx.work / "FennSetup.exe"
    corrupt_payload(outputs.setup, damaged, 102)
    setup = SetupUnderTest(outputs.setup)  # the intact payloads are the expected contents
    setup.exe = damaged
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))

    run = start_setup(ctx, prefix, setup)
    run.wait_for_window(ERROR_TITLE, timeout=90)
    end_after_failure(ctx, run)
    check_installed(setup, product, ["CompLib.dll"])
    check_no_leftovers(prefix)


def blocked_target(ctx, outputs):
    """"K3Fenn.exe" already exists in the product folder as a folder. The existence test does
    not count a folder as a file, so the setup tries to move its file there and fails: the move
    error, and nothing in the product folder is lost or left in the temp folder."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    blocker = product / "K3Fenn.exe"
    blocker.mkdir()
    (blocker / "keep.txt").write_bytes(b"must survive\r\n")
    os.chmod(blocker, 0o555)
    product_files = {k: v for k, v in snapshot(product).items() if k != "K3Fenn.exe"}
    blocker_content = snapshot(blocker)

    run = start_setup(ctx, prefix, setup)
    wait_for_files(product, ["CompLib.dll"])
    run.wait_for_window(ERROR_TITLE, timeout=90)
    end_after_failure(ctx, run)
    os.chmod(blocker, 0o755)
    after = snapshot(product)
    expect_same(product_files, {k: v for k, v in after.items()
                                if k not in ("K3Fenn.exe", "CompLib.dll")},
                "the product files")
    expect_same(blocker_content, snapshot(blocker), "the folder named K3Fenn.exe")
    check_installed_except_blocker(setup, product)
    check_no_leftovers(prefix)


def codec_not_writable(ctx, outputs):
    """The codec library cannot be written to the system directory (a folder has its name):
    one error box, nothing extracted, nothing left behind, and the run ends."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    before = snapshot(product)
    blocker = prefix.system32 / STAGED_CODEC
    blocker.mkdir()

    run = start_setup(ctx, prefix, setup)
    run.wait_for_window(ERROR_TITLE, timeout=90)
    end_after_failure(ctx, run)
    expect_same(before, snapshot(product), "the product folder")
    if not blocker.is_dir() or any(blocker.iterdir()):
        raise ScenarioFailure(f"the folder named {STAGED_CODEC} was touched")
    temp = leftover_temp_files(prefix.temp_dir)
    if temp:
        raise ScenarioFailure(f"temporary files left: {temp}")


def check_installed_except_blocker(setup, product):
    payload = setup.payload("CompLib.dll")
    path = product / "CompLib.dll"
    if not path.is_file() or path.read_bytes() != payload.content:
        raise ScenarioFailure("CompLib.dll, installed before the failure, is not intact")


SCENARIOS = {
    "corrupt_payload": corrupt_payload_102,
    "blocked_target": blocked_target,
    "codec_not_writable": codec_not_writable,
}
