#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything (warnings are errors) and runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
find src tests -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run -Werror
bash scripts/build.sh build -DQUORIX_BUILD_TESTS=ON -DQUORIX_WERROR=ON
cd build
ctest --output-on-failure --timeout 600 -j "$(nproc)"

# Fuzzing: each parser on its seed corpus for a bounded time (scripts/fuzz.sh; FUZZ_SECONDS per target).
cd ..
bash scripts/fuzz.sh
