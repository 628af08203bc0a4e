#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything (warnings are errors) and runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
find src tests -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run -Werror
bash scripts/build.sh build -DQUORIX_BUILD_TESTS=ON -DQUORIX_WERROR=ON
cd build
ctest --output-on-failure --timeout 600 -j "$(nproc)"

# The same suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer: a memory error or
# undefined behaviour ends the process, so any report fails its test. Leak checking is off: the libraries'
# own caches (fonts, the driver manager) would report as leaks. The package and house checks have nothing
# to sanitize.
cd ..
bash scripts/build.sh build-asan -DQUORIX_BUILD_TESTS=ON -DQUORIX_SANITIZE=ON
(cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:halt_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure --timeout 900 -j "$(nproc)" -E '^(packaging|house)\.')

# Fuzzing: each parser on its seed corpus for a bounded time (scripts/fuzz.sh; FUZZ_SECONDS per target).
bash scripts/fuzz.sh

# The Windows program: cross-built with mingw-w64 and packaged (build-win), then run under Wine against the
# scripted servers of the Linux build.
windows_start=$(date +%s)
bash scripts/windows/build.sh build-win
windows_built=$(date +%s)
bash scripts/windows/wine-test.sh build-win
echo "Windows stage: build and packages $((windows_built - windows_start)) s, Wine $(($(date +%s) - windows_built)) s"
