#!/usr/bin/env bash
# Configures and builds one flavour: build.sh [plain|address|thread|fuzz].
# Prints the build folder on its last line.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
flavour=${1:-plain}
case "$flavour" in
  plain) dir=$root/build; args=(); target=all ;;
  address) dir=$root/build-asan; args=(-DTARNVEX_SANITIZER=address -DTARNVEX_BENCH=OFF); target=all ;;
  thread) dir=$root/build-tsan; args=(-DTARNVEX_SANITIZER=thread -DTARNVEX_BENCH=OFF); target=all ;;
  fuzz) dir=$root/build-fuzz; args=(-DTARNVEX_FUZZ=ON -DTARNVEX_BENCH=OFF -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang); target=fuzz_targets ;;
  *) echo "usage: build.sh [plain|address|thread|fuzz]" >&2; exit 2 ;;
esac
cmake -S "$root" -B "$dir" -G Ninja "${args[@]}" >/dev/null
cmake --build "$dir" --target "$target" -- -j"$(nproc)" >&2
echo "$dir"
