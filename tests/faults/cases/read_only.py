"""Folders the setup must write to but cannot: the product folder and the system directory, each
made read-only by a read-only bind mount."""

from faultlib.checks import expect_clean, expect_product_kept, system_listing
from faultlib.mounts import bind_read_only
from fenntest.product import DEFAULT_FOLDER, lay_out_product, snapshot
from fenntest.flow import (CANNOT_PLACE_FILE, ERROR_TITLE, SetupUnderTest, dismiss_box,
                           ended_after_box, start_setup)

CANNOT_PREPARE_CODEC = "압축 해제 모듈을 준비할 수 없습니다."


def run_to_error(ctx, setup, label, text, make_read_only):
    """A fresh prefix with the product in its default folder; make_read_only(prefix, product)
    takes away write access; the run shows the box with this text, ends, changes no product file
    and leaves nothing in the temp folder or the system directory."""
    prefix = ctx.new_prefix(label)
    product = lay_out_product(prefix.host_path(DEFAULT_FOLDER))
    before = snapshot(product)
    system_before = system_listing(prefix)
    make_read_only(prefix, product)
    run = start_setup(ctx, prefix, setup)
    dismiss_box(ctx, run, ERROR_TITLE, label, text)
    ended_after_box(ctx, run)
    expect_product_kept(before, product)
    expect_clean(prefix, [prefix.temp_dir], system_before)
    prefix.shutdown()


def read_only_folders(ctx, outputs):
    """The product folder read-only: the first payload cannot be moved in ("리소스를 추가할 수
    없습니다. ..."). The system directory read-only: the codec library cannot be staged ("압축 해제
    모듈을 준비할 수 없습니다.") and nothing is extracted."""
    setup = SetupUnderTest(outputs.setup)
    run_to_error(ctx, setup, "product-read-only", CANNOT_PLACE_FILE,
                 lambda prefix, product: bind_read_only(ctx, product))
    run_to_error(ctx, setup, "system-read-only", CANNOT_PREPARE_CODEC,
                 lambda prefix, product: bind_read_only(ctx, prefix.system32))


SCENARIOS = {
    "read_only_folders": read_only_folders,
}
