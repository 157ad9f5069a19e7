#!/usr/bin/env bash
# Checks that a Windows binary is built for the expected machine and imports system DLLs only.
# usage: check_pe.sh OBJDUMP MACHINE(i386|x86-64) FILE...
set -euo pipefail
objdump=$1 machine=$2
shift 2
# The DLLs every Windows installation has; a binary that needs anything else would not start on
# a bare system.
system_dlls='^(kernel32|user32|gdi32|advapi32|comctl32|msvcrt|shell32|ole32)\.dll$'
case $machine in
  i386) format=pei-i386 magic=010b ;;
  x86-64) format=pei-x86-64 magic=020b ;;
  *) echo "unknown machine $machine"; exit 2 ;;
esac
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for file in "$@"; do
  [ -f "$file" ] || { fail "$file is missing"; continue; }
  header=$("$objdump" -f "$file")
  grep -q "file format $format\$" <<<"$header" || fail "$file is not $format: $header"
  private=$("$objdump" -p "$file")
  grep -Eq "^Magic[[:space:]]+$magic" <<<"$private" || fail "$file: optional header is not $magic"
  while read -r dll; do
    lower=$(tr '[:upper:]' '[:lower:]' <<<"$dll")
    [[ $lower =~ $system_dlls ]] || fail "$file imports $dll, which is no system DLL"
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$private")
  echo "checked $file"
done
[ "$failures" -eq 0 ]
