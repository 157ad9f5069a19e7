"""The temp folder, where every payload is unpacked before it is moved into the product folder:
missing, too small for the first payload, and named outside the Korean code page."""

from faultlib.checks import expect_clean, expect_product_kept, system_listing
from faultlib.mounts import mount_tmpfs, unmount
from fenntest.errors import ScenarioFailure
from fenntest.product import DEFAULT_FOLDER, lay_out_product, snapshot
from fenntest.flow import (CANNOT_MAKE_TEMP, DECOMPRESS_FAILED, ERROR_TITLE, SetupUnderTest,
                           dismiss_box, ended_after_box, start_setup)

PAGE = 4096


def run_to_error(ctx, prefix, setup, text, label, temp_dirs):
    """One run over the product in the default folder that meets the box with this text and then
    ends; nothing installed, nothing left, no product file touched."""
    product = prefix.host_path(DEFAULT_FOLDER)
    before = snapshot(product)
    system_before = system_listing(prefix)
    run = start_setup(ctx, prefix, setup)
    dismiss_box(ctx, run, ERROR_TITLE, label, text)
    ended_after_box(ctx, run)
    expect_product_kept(before, product)
    expect_clean(prefix, temp_dirs, system_before)


def temp_missing(ctx, outputs):
    """TEMP and TMP name a folder that does not exist: no temporary file can be made."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    usual_temp = prefix.temp_dir
    missing = "C:\\fenn-no-such-temp"
    set_temp(ctx, prefix, missing)
    run_to_error(ctx, prefix, setup, CANNOT_MAKE_TEMP, "temp-missing", [usual_temp])
    if prefix.host_path(missing).exists():
        raise ScenarioFailure(f"{missing} was made")


def set_temp(ctx, prefix, windows_folder):
    """TEMP and TMP of the user's environment, which Wine gives every process it starts."""
    value = windows_folder.replace("\\", "\\\\")
    prefix.import_registry(f'[HKEY_CURRENT_USER\\Environment]\n"TEMP"="{value}"\n'
                           f'"TMP"="{value}"\n', ctx.work)


def temp_not_in_code_page(ctx, outputs):
    """The temp folder has a Thai name, which the Korean code page cannot hold. The setup makes its
    temporary file there (wide calls), but the codec takes narrow paths: it is handed "?" for each
    Thai letter, cannot open the container, and the decompression box comes up. Nothing is
    installed and nothing is left in either temp folder."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    usual_temp = prefix.temp_dir
    folder = "C:\\users\\ทดสอบ\\Temp"
    prefix.host_path(folder).mkdir(parents=True)
    set_temp(ctx, prefix, folder)
    run_to_error(ctx, prefix, setup, DECOMPRESS_FAILED, "temp-not-in-code-page",
                 [usual_temp, prefix.host_path(folder)])


def temp_full(ctx, outputs):
    """The temp folder is a file system of its own, first too small for the first payload's
    container, then big enough for the container but not for the decoder's copy and output."""
    setup = SetupUnderTest(outputs.setup)
    first = setup.payloads[0]
    if not first.name == "CompLib.dll":
        raise ScenarioFailure(f"payload 101 is {first.name}, not CompLib.dll")
    prefix = ctx.new_prefix()
    lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    # Smaller than the container: writing the temporary file fails.
    tiny = max(PAGE, (len(first.container) // 4) // PAGE * PAGE)
    temp = prefix.temp_dir
    mount_tmpfs(ctx, temp, tiny)
    run_to_error(ctx, prefix, setup, CANNOT_MAKE_TEMP, "temp-full-container", [temp])
    prefix.shutdown()  # no Wine process may keep the file system busy
    unmount(temp)
    # Room for the container with a little to spare, far from enough for the unpacked file.
    roomy = (len(first.container) + 12 * PAGE) // PAGE * PAGE
    if roomy >= len(first.container) + len(first.content):
        raise ScenarioFailure("payload 101 is too small for this scenario")
    mount_tmpfs(ctx, temp, roomy)
    run_to_error(ctx, prefix, setup, DECOMPRESS_FAILED, "temp-full-output", [temp])


SCENARIOS = {
    "temp_missing": temp_missing,
    "temp_full": temp_full,
    "temp_not_in_code_page": temp_not_in_code_page,
}
