# Sourced by the test drivers (tests/nsis/run, tests/extra/*): what they share.
# shellcheck shell=bash

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)  # the repository

winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }
# Runs the command until it succeeds, at most N times, waiting the seconds given between tries.
retry() {  # times, pause, command...
  local times=$1 pause=$2
  shift 2
  for _ in $(seq "$times"); do
    "$@" && return 0
    sleep "$pause"
  done
  return 1
}

# Sets target to makensis's switches for the variant (this makensis builds x86-unicode by default).
variant_target() {
  case "$1" in
    x86-ansi) target=(-X"Unicode false") ;;
    x86-unicode) target=() ;;
    amd64-unicode) target=(-X"Target amd64-unicode") ;;
    *) echo "unknown variant $1" >&2; exit 2 ;;
  esac
}

expected_for() { if [ -f "$1.$2.expected" ]; then echo "$1.$2.expected"; else echo "$1.expected"; fi; }

compare() {  # expected, actual, label
  if diff -u --strip-trailing-cr "$1" "$2"; then
    echo "$3: as expected"
  else
    echo "$3: differs from $(basename "$1")" >&2
    return 1
  fi
}
