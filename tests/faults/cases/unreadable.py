"""Folders the user has no access to (mode 000, with Wine running without root's right to read
every folder): the product's own folder, and folders on the drives the search walks."""

from faultlib.checks import expect_clean, expect_product_kept, system_listing
from faultlib.without_root_access import run_wine_without_root_access
from fenntest.product import DEFAULT_FOLDER, lay_out_product, snapshot
from fenntest.flow import (ERROR_TITLE, NOT_FOUND_TEXT, WITHOUT_SYSTEM_LIBRARIES, SetupUnderTest,
                           check_installed, dismiss_box, finish, start_setup, wait_completed)

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
    dismiss_box(ctx, run, ERROR_TITLE, "default-folder-unreadable", NOT_FOUND_TEXT)
    run.wait_exit()

    default = hidden.pop(0)
    default.chmod(OPEN)
    default.rename(default.with_name("Tolvarine.moved"))  # a name with a dot: never searched
    run = start_setup(ctx, prefix, setup)
    took = wait_completed(ctx, run, timeout=120)
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
