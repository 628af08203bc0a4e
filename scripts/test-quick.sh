#!/usr/bin/env bash
# The loop while working (bash scripts/test.sh --quick): formats the C++ files changed since the branch left
# main (committed or not), builds what changed in the normal build folder, and runs the tests labelled unit
# plus every test of each room a changed file belongs to. Installs nothing and leaves the sanitizers, the
# fuzzing and Windows to the full command.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS

# Changed since QUORIX_QUICK_BASE (HEAD: only what is not committed), by default since the branch left main.
base=${QUORIX_QUICK_BASE:-$(git merge-base HEAD main 2>/dev/null || git rev-parse HEAD)}
mapfile -t changed < <({ git diff --name-only "$base"; git ls-files --others --exclude-standard; } | sort -u)

cpp=()
for f in "${changed[@]}"; do
  case "$f" in (src/*.cpp | src/*.h | tests/*.cpp | tests/*.h) [ -f "$f" ] && cpp+=("$f") ;; esac
done
[ ${#cpp[@]} -gt 0 ] && clang-format -i "${cpp[@]}"

bash scripts/build.sh build -DQUORIX_BUILD_TESTS=ON -DQUORIX_WERROR=ON

# The room of a path is the prefix of its tests' names (src/core/shares and src/gui/shares: shares.*).
rooms=()
for f in "${changed[@]}"; do
  room=""
  case "$f" in
    src/core/settings/*) room=app ;;
    src/core/*/* | src/gui/*/*) room=${f#src/*/}; room=${room%%/*} ;;
    tests/support/tds/* | tests/support/proxy/*) room=tds ;;
    tests/support/*) ;;
    tests/*/*) room=${f#tests/}; room=${room%%/*} ;;
    packaging/* | cmake/Packaging.cmake) room=packaging ;;
  esac
  [ -n "$room" ] && [[ " ${rooms[*]} " != *" $room "* ]] && rooms+=("$room")
done

cd build
ctest --output-on-failure -j "$(nproc)" -L '^unit$'
if [ ${#rooms[@]} -gt 0 ]; then
  echo "== the rooms changed: ${rooms[*]}"
  ctest --output-on-failure -j "$(nproc)" -LE '^unit$' -R "^($(IFS='|'; echo "${rooms[*]}"))\\." --no-tests=ignore
fi
echo "== quick: $((SECONDS - start)) s"
