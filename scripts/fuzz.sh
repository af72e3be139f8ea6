#!/usr/bin/env bash
# Runs every fuzz target (or the ones named) for a chosen time each:
#   scripts/fuzz.sh [seconds] [target-name ...]
# New inputs go to build-fuzz/tests/fuzz/corpus-<name>; copy any crash input
# into tests/fuzz/corpus/<name>/ once it is fixed, so it is replayed for ever.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}; shift || true
"$root/scripts/setup.sh"
fuzz=$("$root/scripts/build.sh" fuzz | tail -n 1)
cd "$fuzz"
if (($#)); then names=("$@"); else
  mapfile -t names < <(ls tests/fuzz/*_fuzz | xargs -n1 basename | sed 's/_fuzz$//')
fi
for name in "${names[@]}"; do
  mkdir -p "tests/fuzz/corpus-$name"
  echo "== $name ($seconds s)"
  "tests/fuzz/${name}_fuzz" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    "tests/fuzz/corpus-$name" "$root/tests/fuzz/corpus/$name"
done
