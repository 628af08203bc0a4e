#!/usr/bin/env bash
# Builds the fuzz targets of the parsers with clang (build-fuzz) and runs each on its committed seed corpus
# for a bounded time. A crash, a hang (an input taking over 5 s), a leak or a sanitizer report fails the run
# and prints the reproducer's path; run the target on that file to see it again.
# Targets run side by side, one per processor (FUZZ_JOBS), each for its full time.
# Usage: scripts/fuzz.sh [TARGET...]   (all targets by default; FUZZ_SECONDS per target, 20 by default)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-20}
jobs=${FUZZ_JOBS:-$(nproc)}
build=build-fuzz

source scripts/compiler-cache.sh
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORIX_FUZZ=ON \
  "${cache_launcher[@]}" >/dev/null
cmake --build "$build" --parallel "$(nproc)"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for exe in "$build"/tests/fuzz/fuzz_*; do
    [ -x "$exe" ] && targets+=("${exe##*/fuzz_}")
  done
fi

# New inputs a run finds go to a scratch folder; the committed corpus is only read. Files the targets
# write (the settings files) go to memory when it can.
work="$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work/artifacts"
[ -d /dev/shm ] && [ -w /dev/shm ] && export TMPDIR=/dev/shm

# One target's run; its verdict lands in $work/$t.verdict, its report in $work/$t.report.
fuzz_one() {
  local t=$1 exe="$build/tests/fuzz/fuzz_$1" seeds="tests/fuzz/corpus/$1" log="$work/$1.log"
  if [ ! -x "$exe" ] || [ ! -d "$seeds" ]; then
    echo "fuzz $t: no such target or no seed corpus ($exe, $seeds)" >"$work/$t.report"
    echo failed >"$work/$t.verdict"
    return
  fi
  mkdir -p "$work/$t"
  # QSettings keeps every file it read in a cache of its own, so the settings target's allocations never
  # balance within one input, and libFuzzer would hunt for leaks after each one: a dozen times slower.
  local extra=()
  [ "$t" = settings_file ] && extra=(-detect_leaks=0)
  if "$exe" -max_total_time="$seconds" -timeout=5 -print_final_stats=1 "${extra[@]}" \
    -artifact_prefix="$work/artifacts/$t-" "$work/$t" "$seeds" >"$log" 2>&1; then
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz $t: ${runs:-?} inputs in ${seconds} s, no fault" >"$work/$t.report"
    echo ok >"$work/$t.verdict"
  else
    {
      echo "fuzz $t: FAILED; what it found (the whole log: $log):"
      grep -m 1 -A 12 -E 'property broken|ERROR: |runtime error|ALARM' "$log" || tail -n 30 "$log"
      for f in "$work/artifacts/$t-"*; do
        if [ -e "$f" ]; then echo "fuzz $t: reproducer $f (run: $exe $f)"; fi
      done
    } >"$work/$t.report"
    echo failed >"$work/$t.verdict"
  fi
}

running=0
for t in "${targets[@]}"; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz_one "$t" &
  running=$((running + 1))
done
wait

failed=()
for t in "${targets[@]}"; do
  if [ "$(cat "$work/$t.verdict" 2>/dev/null)" = ok ]; then
    cat "$work/$t.report"
  else
    failed+=("$t")
    cat "$work/$t.report" >&2 2>/dev/null || echo "fuzz $t: no verdict" >&2
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing failed: ${failed[*]}" >&2
  exit 1
fi
