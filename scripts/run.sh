#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool. Extra arguments go to the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
# A build folder of its own: the tool alone needs no test packages.
bash scripts/build.sh build-app -DQUORIX_BUILD_TESTS=OFF
headless=0
for a in "$@"; do [ "$a" = --headless ] && headless=1; done
if [ $headless -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: run under a virtual display (xvfb-run -a bash scripts/run.sh) or headless (bash scripts/run.sh --headless --print frmMain)." >&2
  exit 1
fi
exec ./build-app/src/quorix-dbtools "$@"
