#!/usr/bin/env bash
# Shows that the tests leave the real state alone. `snapshot FILE` records
# every entry under ~/.tavrokin (the program's default state, where a test
# that escaped its temporary home would write): type, mode, size, time and
# content hash. `compare FILE` fails, with the differences, when anything
# there was created, changed or removed since the snapshot.
#   usage: tests/home_guard.sh snapshot|compare FILE
set -euo pipefail
mode=${1-} file=${2-}
dir=${HOME:-/root}/.tavrokin

state() {
  if [ ! -e "$dir" ]; then
    echo "(no $dir)"
    return
  fi
  find "$dir" -printf '%y %m %s %T@ %p\n' 2>&1 | LC_ALL=C sort
  find "$dir" -type f -exec sha256sum {} + 2>&1 | LC_ALL=C sort
}

case $mode in
  snapshot) state >"$file" ;;
  compare)
    if ! state | diff -u --label before --label after "$file" -; then
      echo "home_guard: the tests changed $dir (lines above: before and after)." >&2
      echo "home_guard: every test must use a temporary HOME and state directory" >&2
      echo "home_guard: (or a program outside the tests wrote there meanwhile)." >&2
      exit 1
    fi
    ;;
  *) echo "usage: tests/home_guard.sh snapshot|compare FILE" >&2; exit 2 ;;
esac
