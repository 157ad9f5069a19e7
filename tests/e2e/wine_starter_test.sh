#!/bin/bash
# The toolkit's "wine" (tests/fenntest/bin) starts a program again when Wine ended the start
# before the program ran, and only then. A stand-in "wine" behind it answers
# each start with the next line of its answers: "dropped" or "unmapped" (what Wine prints for
# such a start, status 1) or an exit status.
set -u
starter=$(cd "$(dirname "$0")/../fenntest/bin" && pwd -P)
stand_in=$(mktemp -d)
trap 'rm -rf "$stand_in"' EXIT
cat >"$stand_in/wine" <<'STAND_IN'
#!/bin/bash
echo x >>"$STARTS"
answer=$(sed -n "$(wc -l <"$STARTS")p" "$ANSWERS")
case $answer in
  dropped) echo "wine client error:0: recvmsg: Connection reset by peer" >&2; exit 1 ;;
  unmapped) echo "err:virtual:virtual_alloc_first_teb wine: failed to map the shared user data:" \
    "c0000018" >&2; exit 1 ;;
esac
echo "the program ran" >&2
exit "$answer"
STAND_IN
chmod +x "$stand_in/wine"
failed=0
expect() {  # answers..., then the status and the number of starts expected
  local answers=("${@:1:$#-2}") status=${*: -2:1} starts=${*: -1}
  export ANSWERS=$stand_in/answers STARTS=$stand_in/starts
  printf '%s\n' "${answers[@]}" >"$ANSWERS"
  : >"$STARTS"
  PATH=$starter:$stand_in:$PATH wine 2>/dev/null
  local got=$? made=$(wc -l <"$STARTS")
  if [ "$got $made" != "$status $starts" ]; then
    echo "answers ${answers[*]}: status $got after $made starts, expected $status after $starts"
    failed=1
  fi
}
expect dropped 7 7 2      # dropped, then the program ran
expect unmapped 0 0 2
expect 1 1 1              # the program itself ended with 1: not started again
expect 0 0 1
expect dropped dropped dropped 0 1 3  # three drops: given up
exit $failed
