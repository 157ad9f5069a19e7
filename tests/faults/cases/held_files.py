"""Files held open by another process while the setup runs: product files, and the codec library
the setup stages in the system directory."""


from faultlib.checks import expect_clean, expect_product_kept, system_listing
from fenntest.errors import ScenarioFailure
from fenntest.pe import PeResources
from fenntest.product import DEFAULT_FOLDER, STAGED_CODEC, lay_out_product, snapshot
from fenntest.flow import (WITHOUT_SYSTEM_LIBRARIES, SetupUnderTest, check_installed, finish,
                           staged_codec, start_setup, wait_completed, wait_for_files)

OLDER_UPDATER = b"an older updater, which the setup must leave alone\r\n"
# Twenty release passes 50 ms apart take about a second; anything near this bound is a hang.
RELEASE_BOUND_SECONDS = 30


def locked_product_file(ctx, outputs):
    """Another program holds "k3main.exe" and an older "K3Fenn.exe" open and shares nothing: the
    product is still found and verified (by listing, not by opening), CompLib.dll is installed,
    and neither held file is replaced, changed or lost."""
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    (product / "K3Fenn.exe").write_bytes(OLDER_UPDATER)
    before = snapshot(product)
    system_before = system_listing(prefix)
    holders = [ctx.helper(prefix).hold(f"{DEFAULT_FOLDER}\\{name}")
               for name in ("k3main.exe", "K3Fenn.exe")]
    for holder in holders:
        holder.wait_ready(timeout=60)

    run = start_setup(ctx, prefix, setup)
    wait_completed(ctx, run)
    ctx.screenshot(run, "completed")
    if not all(holder.holding for holder in holders):
        raise ScenarioFailure("a helper let go of its file before the setup completed")
    finish(ctx, run)
    for holder in holders:
        holder.stop()
    expect_product_kept(before, product, installed=["CompLib.dll"])
    if (product / "CompLib.dll").read_bytes() != setup.payload("CompLib.dll").content:
        raise ScenarioFailure("CompLib.dll is not payload 101")
    expect_clean(prefix, [prefix.temp_dir], system_before)


def undeletable_codec(ctx, outputs):
    """Another program takes the staged "CompVLib.DLL" as soon as it appears: once as an open file
    that shares reading but not deletion, once loaded as a library of its own. Either way the
    extraction works; the release gives up after its bounded retries, so the panel completes about
    a second later than usual; the file stays behind, byte for byte the library the setup staged,
    until the system's next start deletes it; nothing is left in the temp folder."""
    setup = SetupUnderTest(outputs.setup)
    staged_bytes = PeResources(setup.exe.read_bytes()).bytes_of("CUSTOM", 1001)
    for mode in ("hold-shared-read", "load"):
        prefix = ctx.new_prefix(mode)
        product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
        before = snapshot(product)
        system_before = system_listing(prefix)
        holder = ctx.helper(prefix).hold(f"C:\\windows\\system32\\{STAGED_CODEC}", mode=mode)
        holder.wait_watching()

        run = start_setup(ctx, prefix, setup)
        holder.wait_ready(timeout=90)
        wait_for_files(product, WITHOUT_SYSTEM_LIBRARIES)
        took = wait_completed(ctx, run, codec_preexisting=True, timeout=RELEASE_BOUND_SECONDS)
        ctx.log(f"{mode}: completed {took:.1f}s after the payloads were in place")
        ctx.screenshot(run, f"completed-{mode}")
        finish(ctx, run)
        holder.stop()

        check_installed(setup, product, WITHOUT_SYSTEM_LIBRARIES)
        expect_product_kept(before, product, installed=WITHOUT_SYSTEM_LIBRARIES)
        left = staged_codec(prefix)
        if left is None:
            raise ScenarioFailure(f"{mode}: {STAGED_CODEC} is gone although another process "
                                  "held it")
        if left.read_bytes() != staged_bytes:
            raise ScenarioFailure(f"the {STAGED_CODEC} left behind is not the staged library")
        ctx.log(f"{mode}: {STAGED_CODEC} left in the system directory, as staged")
        # The setup asked for it to be deleted when the system next starts: restart this prefix.
        prefix.restart()
        if staged_codec(prefix) is not None:
            raise ScenarioFailure(f"{mode}: {STAGED_CODEC} outlived a restart of the system")
        ctx.log(f"{mode}: {STAGED_CODEC} deleted by the restart")
        expect_clean(prefix, [prefix.temp_dir], system_before)
        prefix.shutdown()


SCENARIOS = {
    "locked_product_file": locked_product_file,
    "undeletable_codec": undeletable_codec,
}
