#!/usr/bin/env bash
# The demo: builds the program and runs requests against a headless Chromium
# that it starts on a free port with a fresh profile, printing each request and
# response.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build=$("$root/scripts/build.sh" plain | tail -n 1)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

run() {  # request JSON
  local request=$work/request.json
  printf '%s' "$1" > "$request"
  echo "request:  $1"
  "$build/TarnvexApi" "$request"
  if [[ -f $work/response.json ]]; then
    echo "response: $(cat "$work/response.json")"
    rm -f "$work/response.json"
  else
    echo "response: (no file)"
  fi
  echo
}

run '{"api":3,"profileId":"demo","port":0,"logfile":"'"$work"'/response.json"}'
run '{"api":5,"profileId":"demo","port":0,"logfile":"'"$work"'/response.json"}'
