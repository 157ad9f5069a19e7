"""The user's registry value naming the product folder, stored as binary data rather than text:
the folder's name in the Korean code page, a NUL, then bytes that are no text. The setup reads the
value as narrow text up to its first NUL, whatever its type, takes that folder and installs there,
not in the product the drive search would find on D:. How the read treats each type (binary,
number, multi-string, expandable, long, letters outside the code page) is the platform contract's
case RegistryValuesOfEveryTypeInNarrowBytes, run on both platforms; this run shows that the setup
uses what the read gives."""

from faultlib.checks import expect_clean, expect_product_kept, system_listing
from fenntest.flow import (WITHOUT_SYSTEM_LIBRARIES, SetupUnderTest, check_installed, finish,
                           start_setup, wait_completed)
from fenntest.product import REGISTRY_KEY, REGISTRY_VALUE, lay_out_product, snapshot

FOLDER = "C:\\Reg.cases\\바이너리 제품"  # a name with a dot: the drive search never enters it
ANSI = "cp949"  # the Korean system's code page, which the narrow registry calls return


def registry_types(ctx, outputs):
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    prefix.map_fixed_drives({"d": ctx.work / "drive-d"}, ctx.work)
    product = lay_out_product(prefix.host_path(FOLDER))
    searched = lay_out_product(prefix.host_path("D:\\Search\\Tolvarine"))
    before = {folder: snapshot(folder) for folder in (product, searched)}
    data = FOLDER.encode(ANSI) + b"\0\xff\xfeA\0"
    prefix.import_registry(f"[HKEY_CURRENT_USER\\{REGISTRY_KEY}]\n\"{REGISTRY_VALUE}\"=hex:"
                           + ",".join(f"{b:02x}" for b in data) + "\n", ctx.work)
    system_before = system_listing(prefix)

    run = start_setup(ctx, prefix, setup)
    took = wait_completed(ctx, run, prefix, product, WITHOUT_SYSTEM_LIBRARIES, timeout=180)
    ctx.log(f"completed in {took:.1f}s with the product in {FOLDER}")
    ctx.screenshot(run, "binary-hangul")
    finish(ctx, run)
    check_installed(setup, product, WITHOUT_SYSTEM_LIBRARIES)
    expect_product_kept(before[product], product, WITHOUT_SYSTEM_LIBRARIES)
    expect_product_kept(before[searched], searched)
    expect_clean(prefix, [prefix.temp_dir], system_before)


SCENARIOS = {
    "registry_types": registry_types,
}
