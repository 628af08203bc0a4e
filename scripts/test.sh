#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds everything (warnings are errors) and runs all tests,
# printing the seconds each stage took.
# --quick: the loop while working (scripts/test-quick.sh): formats and builds what changed, runs the unit
# tests and those of the rooms touched; no packages, sanitizers, fuzzing or Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${1:-}" = --quick ]; then
  shift
  exec bash scripts/test-quick.sh "$@"
fi

# Each stage prints its seconds as it ends; all of them again at the end, also when one failed.
stages=()
stage() {
  local name=$1 start=$SECONDS
  shift
  if ! "$@"; then
    stages+=("$name FAILED after $((SECONDS - start)) s")
    exit 1
  fi
  stages+=("$name $((SECONDS - start)) s")
  echo "== $name: $((SECONDS - start)) s"
}
summary() { echo "== stages: $(IFS=,; echo "${stages[*]:-none}" | sed 's/,/, /g'); total ${SECONDS} s"; }
trap summary EXIT

jobs=$(nproc)
format_check() { find src tests -name '*.cpp' -o -name '*.h' | sort | xargs clang-format --dry-run -Werror; }

stage deps bash scripts/deps.sh test
stage format format_check
stage build bash scripts/build.sh build -DQUORIX_BUILD_TESTS=ON -DQUORIX_WERROR=ON
# shares.windows_cross_compile is left to the Windows stage, which compiles the same files with more warnings
# as errors and links them into the whole program.
stage tests bash -c "cd build && ctest --output-on-failure --timeout 600 -j $jobs -E '^shares\.windows_cross_compile$'"

# The same suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer: a memory error or
# undefined behaviour ends the process, so any report fails its test. Leak checking is off: the libraries'
# own caches (fonts, the driver manager) would report as leaks. The package and house checks have nothing
# to sanitize; the benchmarks are not built. The engine tests run the same program as the normal pass against
# a real server and are left out here, and so is the Nagios proof, whose check must end within its timeout
# plus a second (a sanitized program starts slower than any user's would).
stage build-asan bash scripts/build.sh build-asan -DQUORIX_BUILD_TESTS=ON -DQUORIX_SANITIZE=ON \
  -DQUORIX_BUILD_BENCHMARKS=OFF
stage tests-asan bash -c "cd build-asan && ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:halt_on_error=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --output-on-failure --timeout 900 -j $jobs -LE engine -E '^(packaging|house)\.|^shares\.windows_cross_compile$|^status\.nagios$'"

# Fuzzing: each parser on its seed corpus for a bounded time (scripts/fuzz.sh; FUZZ_SECONDS per target).
stage fuzz bash scripts/fuzz.sh

# The Windows program: cross-built with mingw-w64 and packaged (build-win), then run under Wine against the
# scripted servers of the Linux build.
stage windows-build bash scripts/windows/build.sh build-win
stage wine bash scripts/windows/wine-test.sh build-win
