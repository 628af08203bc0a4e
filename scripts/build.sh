#!/usr/bin/env bash
# Configures and builds (incremental), through the compiler cache when ccache is installed
# (scripts/compiler-cache.sh). Usage: scripts/build.sh DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
source scripts/compiler-cache.sh
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${cache_launcher[@]}" "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
