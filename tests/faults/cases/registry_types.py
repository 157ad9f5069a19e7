"""The user's registry value naming the product folder, stored with every type a person or another
program could give it. The setup reads it as narrow text up to its first NUL, whatever its type:
when that text is a plain folder path naming an existing folder the product is taken from there,
otherwise the drive search finds it. Folders named only by the registry sit under "C:\\Reg.cases", which the drive search never
enters (its pattern lists no names with a dot); the search's own product sits on D:."""

from dataclasses import dataclass

from faultlib.checks import (NOT_FOUND_TEXT, expect_clean, expect_completed, expect_error_box,
                             expect_product_kept, system_listing)
from faultlib.helper import FaultHelper
from fenntest.errors import ScenarioFailure
from fenntest.product import REGISTRY_KEY, REGISTRY_VALUE, lay_out_product, snapshot
from fenntest.flow import (WITHOUT_SYSTEM_LIBRARIES, SetupUnderTest, check_installed, finish,
                           start_setup)

REGISTRY_FOLDERS = "C:\\Reg.cases"
SEARCH_FOLDERS = "D:\\Search"
LONG = 64 * 1024
ANSI = "cp949"  # the Korean system's code page, which the narrow registry calls return


def hex_data(data):
    """A .reg hex list, broken into continued lines as regedit writes long values."""
    pairs = [f"{b:02x}" for b in data]
    lines = [",".join(pairs[i:i + 32]) for i in range(0, len(pairs), 32)]
    return ",\\\n  ".join(lines)


def reg_text(text):
    return '"' + text.replace("\\", "\\\\") + '"'


@dataclass
class Case:
    label: str
    value: str  # the right-hand side of the .reg line
    folder: str  # where the product is expected to be found; None: not found
    decoys: tuple = ()  # further folders the value mentions, each holding a product too


def cases():
    r = REGISTRY_FOLDERS
    return [
        Case("binary-hangul",
             "hex:" + hex_data(f"{r}\\바이너리 제품".encode(ANSI) + b"\0\xff\xfeA\0"),
             f"{r}\\바이너리 제품"),
        Case("binary-without-nul", "hex:" + hex_data(f"{r}\\nonul".encode(ANSI)), f"{r}\\nonul"),
        Case("binary-long", "hex:" + hex_data(f"{r}\\long".encode(ANSI) + b"\0" + b"A" * LONG),
             f"{r}\\long"),
        Case("multi-string",
             "hex(7):" + hex_data(f"{r}\\첫째\0{r}\\둘째\0\0".encode("utf-16-le")),
             f"{r}\\첫째", decoys=(f"{r}\\둘째",)),
        Case("expand-string", "hex(2):" + hex_data(f"{r}\\expand\0".encode("utf-16-le")),
             f"{r}\\expand"),
        Case("dword", "dword:12345678", f"{SEARCH_FOLDERS}\\dword"),
        Case("binary-empty", "hex:", f"{SEARCH_FOLDERS}\\empty"),
        Case("string-64k", reg_text(f"{r}\\" + "x" * LONG), f"{SEARCH_FOLDERS}\\long"),
        # Thai has no place in the Korean code page: the narrow read turns each letter into "?",
        # which makes the text a pattern, no folder name. Such a value counts as none, and the
        # drive search finds the product; the real folder the pattern would match is left alone.
        Case("string-not-in-code-page", reg_text(f"{r}\\ทดสอบ"), f"{SEARCH_FOLDERS}\\thai",
             decoys=(f"{r}\\ทดสอบ",)),
    ]


def registry_types(ctx, outputs):
    setup = SetupUnderTest(outputs.setup)
    prefix = ctx.new_prefix()
    prefix.map_fixed_drives({"d": ctx.work / "drive-d"}, ctx.work)
    helper = FaultHelper(ctx, prefix)
    all_cases = cases()
    folders = {}
    for case in all_cases:
        for windows in filter(None, (case.folder, *case.decoys)):
            folders[windows] = prefix.host_path(windows)
            if not windows.startswith(SEARCH_FOLDERS):
                lay_out_product(folders[windows])
    system_before = system_listing(prefix)

    for case in all_cases:
        expected = folders.get(case.folder)
        # The only product the drive search can reach is this case's.
        searched = [folders[w] for w in filter(None, (case.folder, *case.decoys))
                    if w.startswith(SEARCH_FOLDERS)]
        for host in searched:
            lay_out_product(host)
        prefix.import_registry(f"[HKEY_CURRENT_USER\\{REGISTRY_KEY}]\n"
                               f"\"{REGISTRY_VALUE}\"={case.value}\n", ctx.work)
        before = {w: snapshot(h) for w, h in folders.items() if h.exists()}

        run = start_setup(ctx, prefix, setup)
        if case.folder is None:
            expect_error_box(ctx, run, helper, NOT_FOUND_TEXT, case.label)
            run.wait_exit()
            ctx.log(f"{case.label}: not found")
        else:
            took = expect_completed(ctx, run, helper, timeout=180)
            ctx.log(f"{case.label}: completed in {took:.1f}s with the product in {case.folder}")
            ctx.screenshot(run, case.label)
            finish(ctx, run)
            try:
                check_installed(setup, expected, WITHOUT_SYSTEM_LIBRARIES)
            except ScenarioFailure as failure:
                raise ScenarioFailure(f"{case.label}: not installed into {case.folder}: {failure}")
        for windows, state in before.items():
            installed = WITHOUT_SYSTEM_LIBRARIES if windows == case.folder else ()
            expect_product_kept(state, folders[windows], installed)
        expect_clean(prefix, [prefix.temp_dir], system_before)
        for host in searched:
            host.rename(host.parent.parent / ("Search.done-" + host.name))


SCENARIOS = {
    "registry_types": registry_types,
}
