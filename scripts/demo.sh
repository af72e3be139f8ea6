#!/usr/bin/env bash
# The demo: builds the program, starts a headless Chromium on a free port with a
# fresh profile and a small fixture site, and runs one request of each of the
# DevTools actions 2 to 5 through TarnvexApi, printing each request and response.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build=$("$root/scripts/build.sh" plain | tail -n 1)

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
http_get() {  # url: prints the body, empty when there is none yet
  python3 - "$1" <<'PY' 2>/dev/null || true
import sys, urllib.request
print(urllib.request.urlopen(sys.argv[1], timeout=2).read().decode())
PY
}
wait_for() {  # url: waits up to 30 s until it answers
  for _ in $(seq 300); do [[ -n $(http_get "$1") ]] && return 0; sleep 0.1; done
  echo "demo: $1 did not answer" >&2; exit 1
}
first_page() {  # member of the first page target in /json/list
  http_get "http://127.0.0.1:$cdp/json/list" | python3 -c '
import json, sys
pages = [t for t in json.load(sys.stdin) if t["type"] == "page"]
print(pages[0][sys.argv[1]] if pages else "")' "$1"
}

# The fixture site.
mkdir -p "$work/site" "$work/profile"
printf '<!doctype html><title>Tarnvex demo</title><h1>Hello</h1>\n' > "$work/site/index.html"
printf '<!doctype html><title>Second page</title><p>navigated</p>\n' > "$work/site/second.html"
site=$(free_port)
setsid python3 -m http.server "$site" --bind 127.0.0.1 --directory "$work/site" >/dev/null 2>&1 &
pids+=($!)
wait_for "http://127.0.0.1:$site/index.html"

# The browser, with the same flags as the test harness.
cdp=$(free_port)
setsid /usr/bin/chromium --headless "--remote-debugging-port=$cdp" "--user-data-dir=$work/profile" \
  --no-sandbox --disable-gpu --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --disable-quic --remote-allow-origins='*' \
  "http://127.0.0.1:$site/index.html" >/dev/null 2>&1 &
pids+=($!)
wait_for "http://127.0.0.1:$cdp/json/version"
for _ in $(seq 100); do [[ -n $(first_page id) ]] && break; sleep 0.1; done
echo "Chromium listens on 127.0.0.1:$cdp; fixture site on 127.0.0.1:$site"
echo

log=$work/response.json
run() {  # request JSON
  local request=$work/request.json
  rm -f "$log"
  printf '%s' "$1" > "$request"
  echo "request:  $1"
  "$build/app/TarnvexApi" "$request"
  if [[ -f $log ]]; then echo "response: $(cat "$log")"; else echo "response: (no file)"; fi
  echo
}
request() {  # api, extra members
  printf '{"api":%s,"profileId":"demo","port":%s,"logfile":"%s"%s}' "$1" "$cdp" "$log" "$2"
}

echo "== action 3: the first page's state"
run "$(request 3 '')"
echo "== action 2: evaluate an expression"
run "$(request 2 ',"args":"document.title + \" has \" + document.querySelectorAll(\"h1\").length + \" heading\""')"
echo "== action 4: navigate the first page (a bare host:port/path gets http://)"
run "$(request 4 ",\"args\":\"127.0.0.1:$site/second.html\"")"
sleep 0.5
run "$(request 3 '')"
echo "== action 4 with click: open a new tab"
run "$(request 4 ",\"args\":\"127.0.0.1:$site/index.html\",\"click\":true")"
sleep 0.5
tab=$(first_page id)
echo "== action 5: bring tab $tab to the front, then close it"
run "$(request 5 ",\"args\":\"$tab\"")"
run "$(request 5 ",\"args\":\"$tab\",\"click\":true")"
sleep 0.3
echo "== action 5 on a tab that no longer exists"
run "$(request 5 ",\"args\":\"$tab\"")"
echo "targets left:"
http_get "http://127.0.0.1:$cdp/json/list" | python3 -c '
import json, sys
for t in json.load(sys.stdin):
    if t["type"] == "page": print("  ", t["id"], t["url"])'

echo
echo "== action 1: WebDriver functions through a chromedriver that each run starts itself"
request1() {  # extra members
  printf '{"api":1,"profileId":"demo","port":%s,"chrome":"/usr/bin/chromium","logfile":"%s"%s}' "$cdp" "$log" "$1"
}
run "$(request1 ",\"function\":\"openurl\",\"args\":\"127.0.0.1:$site/index.html\"")"
run "$(request1 ',"function":"source"')"
run "$(request1 ',"function":"findElementByTag","args":"h1"')"
run "$(request1 ',"function":"getAttribute","args":"[\"//h1\",\"textContent\"]"')"
run "$(request1 ",\"function\":\"ScreenShot\",\"args\":\"$work/shot.png\"")"
python3 - "$work/shot.png" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
width, height = struct.unpack(">II", data[16:24])
print("screenshot: %d bytes, PNG %dx%d" % (len(data), width, height))
PY
