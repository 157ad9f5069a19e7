"""Where the product is found: nowhere, through the user's registry, by the drive search."""

import os

from fenntest.errors import ScenarioFailure
from fenntest.product import (PRODUCT_FILES, REGISTRY_KEY, REGISTRY_VALUE, STAGED_CODEC,
                              lay_out_product)

from fenntest.flow import (WITHOUT_SYSTEM_LIBRARIES, ERROR_TITLE, SetupUnderTest, check_installed,
                           check_no_leftovers, dismiss_box, finish, start_setup, wait_completed)


def install_found(ctx, prefix, setup, product, finish_key="Escape"):
    """A run that finds the product in product: completed, finished with finish_key, the payloads
    (all but the system libraries, which Wine has) installed there and nothing left behind."""
    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES)
    ctx.screenshot(run, "completed")
    finish(ctx, run, finish_key)
    check_installed(setup, product, WITHOUT_SYSTEM_LIBRARIES)
    check_no_leftovers(prefix)


def not_found(ctx, outputs):
    """No product anywhere: one error box, then the end, with nothing written."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    system_before = sorted(os.listdir(prefix.system32))

    run = start_setup(ctx, prefix, setup)
    dismiss_box(ctx, run, ERROR_TITLE, "not-found")
    run.wait_exit()
    check_no_leftovers(prefix)
    if sorted(os.listdir(prefix.system32)) != system_before:
        raise ScenarioFailure("the system directory's listing changed")


def registry(ctx, outputs):
    """The default folder is absent; the user's registry names a Hangul folder, written with a
    trailing backslash, which the locator accepts and trims."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    folder = "C:\\Games\\톨바리네 사본"
    product = lay_out_product(prefix.host_path(folder))
    prefix.set_user_value(REGISTRY_KEY, REGISTRY_VALUE, folder + "\\", ctx.work)

    # Closing the window from outside ends a completed run the same way as Finish.
    install_found(ctx, prefix, setup, product, finish_key="alt+F4")


def drive_search(ctx, outputs):
    """Neither the default folder nor the registry: the search finds the product on D:, a
    second fixed drive, after walking all of C:."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    prefix.map_fixed_drives({"d": ctx.work / "drive-d"}, ctx.work)
    # A decoy holding five of the six files (no "k3main.exe") is never taken for the product.
    decoy = lay_out_product(prefix.host_path("D:\\Apps\\Decoy"))
    (decoy / "k3main.exe").unlink()
    product = lay_out_product(prefix.host_path("D:\\Games\\Tolvarine"))

    install_found(ctx, prefix, setup, product)
    if any((decoy / name).exists() for name in WITHOUT_SYSTEM_LIBRARIES):
        raise ScenarioFailure("the decoy folder received payloads")


def program_files_x86(ctx, outputs):
    """A 64-bit Windows where a 32-bit installer put the product in "C:\\Program Files (x86)", no
    registry value, and a planted "C:\\0" holding six files of the product's names, which the
    drive search would reach first: the setup installs into the folder for 32-bit programs, the
    decoy gets nothing, and the finished run leaves no deletion at restart pending."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    if not prefix.host_path("C:\\Program Files (x86)").is_dir():
        raise ScenarioFailure("the prefix has no folder for 32-bit programs: not a 64-bit one")
    decoy = lay_out_product(prefix.host_path("C:\\0"))
    product = lay_out_product(prefix.host_path("C:\\Program Files (x86)\\톨바리네 2000"))

    install_found(ctx, prefix, setup, product)
    if sorted(p.name for p in decoy.iterdir()) != sorted(PRODUCT_FILES):
        raise ScenarioFailure(f"the decoy folder changed: {sorted(os.listdir(decoy))}")
    pending = prefix.pending_restart_work()
    ctx.log(f"work pending at the next start after the run: {pending!r}")
    if any(STAGED_CODEC.lower() in path.lower() or "\\~oc" in path.lower() for path in pending):
        raise ScenarioFailure(f"the finished run left deletions at restart pending: {pending!r}")


SCENARIOS = {
    "not_found": not_found,
    "registry": registry,
    "drive_search": drive_search,
    "program_files_x86": program_files_x86,
}
