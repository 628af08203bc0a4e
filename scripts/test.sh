#!/usr/bin/env bash
# Installs what is missing, builds everything and runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
bash scripts/build.sh build -DQUORIX_BUILD_TESTS=ON
cd build
ctest --output-on-failure --timeout 600 -j "$(nproc)"
