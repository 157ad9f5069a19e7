#!/bin/bash
# The toolkit's "wine" (tests/fenntest/bin) starts a program again when Wine ended the start
# before the program ran, and only then. A stand-in "wine" behind it answers each start with the
# next of its answers: what Wine prints for such a start (status 1), or an exit status.
set -u
starter=$(cd "$(dirname "$0")/../fenntest/bin" && pwd -P)
stand_in=$(mktemp -d)
trap 'rm -rf "$stand_in"' EXIT
export STARTS=$stand_in/starts
printf '%s\n' '#!/bin/bash' 'echo x >>"$STARTS"; shift $(wc -l <"$STARTS"); answer=$1' \
  '[ "${#answer}" -gt 3 ] && { echo "$answer" >&2; exit 1; }; exit "$answer"' >"$stand_in/wine"
chmod +x "$stand_in/wine"
dropped="wine client error:0: recvmsg: Connection reset by peer"
unmapped="err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data: c0000018"
failed=0
expect() {  # status and starts expected, then the answers
  : >"$STARTS"
  PATH=$starter:$stand_in:$PATH wine - "${@:3}" 2>/dev/null
  local got="$? $(wc -l <"$STARTS")"
  [ "$got" = "$1 $2" ] || { echo "answers ${*:3}: status, starts $got; expected $1 $2"; failed=1; }
}
expect 7 2 "$dropped" 7
expect 0 2 "$unmapped" 0
expect 1 1 1 0   # the program itself ended with 1: not started again
expect 1 3 "$dropped" "$dropped" "$dropped" 0
exit $failed
