#!/usr/bin/env bash
# The whole test suite, from a fresh machine: set-up; the plain build with every
# test (unit, e2e, fuzz corpus replay); the unit tests under ASan + UBSan; the
# threaded parts under ThreadSanitizer; short libFuzzer smoke runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

run_ctest() {  # build folder, ctest arguments...
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure --timeout 300 "$@")
}

# The ASan build comes first: the e2e leak runs of the plain suite use its
# TarnvexApi.
asan=$("$root/scripts/build.sh" address | tail -n 1)
plain=$("$root/scripts/build.sh" plain | tail -n 1)
TARNVEX_ASAN_BINARY="$asan/app/TarnvexApi" run_ctest "$plain" -j2

ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest "$asan" -L unit -j2

# Threads meet in the TCP connection, the HTTP client, the WebSocket client and
# the workers.
tsan=$("$root/scripts/build.sh" thread | tail -n 1)
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  run_ctest "$tsan" -L unit -R '^(platform|net|websocket|app)\.' -j2

fuzz=$("$root/scripts/build.sh" fuzz | tail -n 1)
run_ctest "$fuzz" -L fuzz -j2
