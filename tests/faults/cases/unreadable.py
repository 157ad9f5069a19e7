"""Folders the user has no access to (mode 000, with Wine running without root's right to read
every folder): the product's own folder, and folders on the drives the search walks."""

from faultlib.checks import (NOT_FOUND_TEXT, expect_clean, expect_completed, expect_error_box,
                             expect_product_kept, system_listing)
from faultlib.helper import FaultHelper
from faultlib.without_root_access import run_wine_without_root_access
from fenntest.product import DEFAULT_FOLDER, lay_out_product, snapshot
from fenntest.flow import (WITHOUT_SYSTEM_LIBRARIES, SetupUnderTest, check_installed, finish,
                           start_setup)

NO_ACCESS = 0o000
OPEN = 0o755


def unreadable_folders(ctx, outputs):
    """The default folder exists but cannot be read: it is taken (its parent lists it), its files
    cannot be verified, and the not-found box comes up without a drive search. Without a default
    folder, the search meets unreadable folders on C: and D: (products inside them), treats them
    as empty, and finds the product on E:."""
    run_wine_without_root_access(ctx)
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    d, e = ctx.work / "drive-d", ctx.work / "drive-e"
    prefix.map_fixed_drives({"d": d, "e": e}, ctx.work)
    helper = FaultHelper(ctx, prefix)
    system_before = system_listing(prefix)
    hidden = [lay_out_product(prefix.host_path(DEFAULT_FOLDER)),
              lay_out_product(prefix.host_path("C:\\Locked\\Tolvarine")).parent,
              lay_out_product(d / "Locked" / "Tolvarine").parent]
    states = {folder: snapshot(folder) for folder in hidden}
    reachable = lay_out_product(e / "Tolvarine")
    reachable_before = snapshot(reachable)
    for folder in hidden:
        folder.chmod(NO_ACCESS)
    ctx.on_close(lambda: [f.chmod(OPEN) for f in hidden if f.exists()])

    run = start_setup(ctx, prefix, setup)
    expect_error_box(ctx, run, helper, NOT_FOUND_TEXT, "default-folder-unreadable")
    run.wait_exit()

    default = hidden.pop(0)
    default.chmod(OPEN)
    default.rename(default.with_name("Tolvarine.moved"))  # a name with a dot: never searched
    run = start_setup(ctx, prefix, setup)
    took = expect_completed(ctx, run, helper, timeout=120)
    ctx.log(f"found on E: past the unreadable folders, {took:.1f}s")
    ctx.screenshot(run, "found-past-unreadable")
    finish(ctx, run)
    check_installed(setup, reachable, WITHOUT_SYSTEM_LIBRARIES)
    expect_product_kept(reachable_before, reachable, WITHOUT_SYSTEM_LIBRARIES)
    for folder in hidden:
        folder.chmod(OPEN)
        expect_product_kept(states[folder], folder)
    expect_clean(prefix, [prefix.temp_dir], system_before)


SCENARIOS = {
    "unreadable_folders": unreadable_folders,
}
