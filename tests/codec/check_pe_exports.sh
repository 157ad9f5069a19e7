#!/bin/sh
# Static check of a CompLib.dll: the PE format (PE32 for i386, or PE32+ for x86-64), exactly the two
# exports, by undecorated name, at ordinals 2 and 3 (no ordinal 1), and imports from system DLLs
# only (everything else is linked statically).
# The debug build must carry its debug information (and the release build none).
# Usage: check_pe_exports.sh OBJDUMP DLL FORMAT VARIANT
#   FORMAT: pei-i386 or pei-x86-64; VARIANT: release or debug
set -u
objdump=$1 dll=$2 format=$3 variant=$4
fail() { echo "FAIL: $dll: $*"; exit 1; }
[ -f "$dll" ] || fail "missing"

header=$("$objdump" -f "$dll") || fail "objdump -f failed"
echo "$header" | grep -q "file format $format\$" || fail "not $format: $header"
case $format in
  pei-i386) echo "$header" | grep -q '^architecture: i386' || fail "not i386" ;;
  pei-x86-64) echo "$header" | grep -q '^architecture: i386:x86-64' || fail "not x86-64" ;;
esac

private=$("$objdump" -p "$dll") || fail "objdump -p failed"
base=$(echo "$private" | sed -n 's/^Ordinal Base[[:space:]]*\([0-9]*\)$/\1/p')
[ "$base" = 2 ] || fail "ordinal base is '$base', not 2"
# Export Address Table lines: "	[   0] +base[   2] 1a00 Export RVA": the ordinals that exist.
ordinals=$(echo "$private" | sed -n 's/^[[:space:]]*\[ *[0-9]*\] +base\[ *\([0-9]*\)\].*$/\1/p' | tr '\n' ' ')
[ "$ordinals" = "2 3 " ] || fail "ordinals are '$ordinals', expected '2 3 '"
# Name table lines after "[Ordinal/Name Pointer] Table": "	[   0] Comp2VXFormatFile", the index
# being the ordinal less the base.
exports=$(echo "$private" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
  sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' |
  while read -r index name; do echo "$((index + base)) $name"; done)
expected="2 Comp2VXFormatFile
3 DecompVXFormat2NomFile"
[ "$exports" = "$expected" ] || fail "exports are
$exports
expected
$expected"
echo "$private" | grep -q '^Name .* CompLib.DLL$' || fail "module name is not CompLib.DLL"

sections=$("$objdump" -h "$dll") || fail "objdump -h failed"
if [ "$variant" = debug ]; then
  echo "$sections" | grep -q ' \.debug_info ' || fail "the debug build has no debug information"
else
  echo "$sections" | grep -q ' \.debug_info ' && fail "the release build carries debug information"
fi

imports=$(echo "$private" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dllname in $imports; do
  case $dllname in
    kernel32.dll | user32.dll | msvcrt.dll | api-ms-win-crt-*.dll) ;;
    *) fail "imports non-system $dllname" ;;
  esac
done
echo "OK: $dll ($variant): $format, exports at 2 and 3 by name, imports: $(echo $imports)"
