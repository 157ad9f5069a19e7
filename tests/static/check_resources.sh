#!/usr/bin/env bash
# Checks the resources of FennSetup.exe: the payload catalogue in Korean (string table 101-104,
# "CUSTOM" 101-104 and 1001), the stored form of the containers, the codec library byte for byte,
# the contents of the payloads, the icon group and the manifest.
# usage: check_resources.sh SETUP VXTOOL RELEASE_COMPLIB CORRUPT_ID PAYLOAD101 PAYLOAD102 PAYLOAD103 PAYLOAD104
#   CORRUPT_ID: the payload built damaged on purpose, or "none"
set -euo pipefail
setup=$1 vxtool=$2 release_complib=$3 corrupt=$4
payloads=("$5" "$6" "$7" "$8")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
extract() { wrestool -x --raw "$@" "$setup"; }

listing=$(wrestool -l "$setup")
echo "$listing"
expect_entry() {
  grep -Fq -- "$1" <<<"$listing" || fail "no resource $1"
}
for id in 101 102 103 104 1001; do expect_entry "--type='CUSTOM' --name=$id --language=1042 "; done
expect_entry "--type=6 --name=7 --language=1042 "  # string bundle 7 holds ids 96-111
expect_entry "--type=3 --name=30001 "
expect_entry "--type=3 --name=30002 "
expect_entry "--type=14 --name=1 "
expect_entry "--type=24 --name=1 "
# Each catalogue resource exists in Korean only.
for id in 101 102 103 104 1001; do
  count=$(grep -c -- "--type='CUSTOM' --name=$id " <<<"$listing" || true)
  [ "$count" -eq 1 ] || fail "CUSTOM $id exists in $count languages"
done
[ "$(grep -c -- '--type=6 ' <<<"$listing" || true)" -eq 1 ] || fail "more than one string bundle"

# The string table: exactly the four target names at 101-104.
extract --type=6 --name=7 --language=1042 >"$work/strings.bin"
python3 - "$work/strings.bin" <<'PY' || fail "string table"
import struct, sys
data = open(sys.argv[1], 'rb').read()
entries, pos = [], 0
for slot in range(16):
    (length,) = struct.unpack_from('<H', data, pos)
    entries.append(data[pos + 2:pos + 2 + 2 * length].decode('utf-16-le'))
    pos += 2 + 2 * length
got = {96 + slot: text for slot, text in enumerate(entries) if text}
want = {101: 'CompLib.dll', 102: 'K3Fenn.exe', 103: 'cfgmgr32.dll', 104: 'setupapi.dll'}
if got != want:
    sys.exit(f'string table is {got}, want {want}')
PY

# Resource 1001 is the release codec library of this architecture, byte for byte.
extract --type=CUSTOM --name=1001 >"$work/1001.dll"
cmp -s "$work/1001.dll" "$release_complib" || fail "CUSTOM 1001 differs from $release_complib"

# The containers: zero-padded to a multiple of four, level-9 zlib bodies, and each unpacks to its
# input file (the damaged one must not).
for index in 0 1 2 3; do
  id=$((101 + index))
  extract --type=CUSTOM --name=$id >"$work/$id.stored"
  size=$(stat -c %s "$work/$id.stored")
  [ $((size % 4)) -eq 0 ] || fail "CUSTOM $id is $size bytes, not a multiple of four"
  [ "$(head -c 2 "$work/$id.stored" | od -An -tx1 | tr -d ' ')" = 78da ] ||
    fail "CUSTOM $id does not start with a level-9 zlib header"
  if "$vxtool" unpack "$work/$id.stored" "$work/$id.out" >/dev/null 2>&1 &&
     cmp -s "$work/$id.out" "${payloads[$index]}"; then
    [ "$corrupt" != "$id" ] || fail "CUSTOM $id was to be damaged but unpacks to its input"
  else
    [ "$corrupt" = "$id" ] || fail "CUSTOM $id does not unpack to ${payloads[$index]}"
  fi
done

# The icon group: images 30001 (16x16) and 30002 (32x32), 256 colours each.
extract --type=14 --name=1 >"$work/group.bin"
python3 - "$work/group.bin" <<'PY' || fail "icon group"
import struct, sys
data = open(sys.argv[1], 'rb').read()
reserved, kind, count = struct.unpack_from('<HHH', data, 0)
images = [struct.unpack_from('<BBBBHHIH', data, 6 + 14 * i) for i in range(count)]
found = sorted((img[7], img[0], img[1], img[5]) for img in images)
if (kind, found) != (1, [(30001, 16, 16, 8), (30002, 32, 32, 8)]):
    sys.exit(f'icon group holds {found}')
PY

# The manifest asks for elevation, common controls 6 and DPI awareness.
extract --type=24 --name=1 >"$work/manifest.xml"
grep -q 'level="requireAdministrator"' "$work/manifest.xml" || fail "manifest: no requireAdministrator"
grep -q 'Microsoft.Windows.Common-Controls' "$work/manifest.xml" || fail "manifest: no common controls"
grep -q '<dpiAware[^>]*>true</dpiAware>' "$work/manifest.xml" || fail "manifest: not DPI aware"

echo "resource checks: $failures failed"
[ "$failures" -eq 0 ]
