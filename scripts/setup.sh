#!/usr/bin/env bash
# Installs whatever the build, the tests, the demo and the benchmarks need and is
# missing. Idempotent, quiet and non-interactive; run as root on a fresh machine.
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang libclang-rt-14-dev
  zlib1g-dev libcurl4-openssl-dev
  libgtest-dev libgmock-dev libpng-dev python3
  chromium chromium-driver xvfb xclip
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi
