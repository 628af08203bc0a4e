#!/usr/bin/env bash
# Builds the Windows program on Debian: cross-compiles quorix-dbtools.exe for 64-bit Windows with
# mingw-w64 (posix threads) against Qt built for it, warnings as errors, and packages it as a portable zip
# and an installer (scripts/windows/package.sh).
# Usage: scripts/windows/build.sh [BUILD_DIR [cmake options...]]   (BUILD_DIR: build-win)
#
# BUILD_DIR/qt     Qt for Windows (scripts/windows/build-qt.sh: the prebuilt archive, or built from source)
# BUILD_DIR/app    the CMake build of the program (tests are not built: they run on Linux)
# BUILD_DIR/*.zip, BUILD_DIR/*-setup.exe   the packages
set -euo pipefail
cd "$(dirname "$0")/../.."
out=build-win
if [ $# -gt 0 ]; then
  out=$1
  shift
fi

bash scripts/deps.sh windows
bash scripts/windows/build-qt.sh "$out/qt"
source scripts/compiler-cache.sh
# -O2 rather than CMake's -O3 for Release: the same program for this tool, in less compile time.
cmake -S . -B "$out/app" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DCMAKE_PREFIX_PATH="$(realpath "$out/qt")" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DQUORIX_BUILD_TESTS=OFF -DQUORIX_WERROR=ON "${cache_launcher[@]}" "$@" >/dev/null
cmake --build "$out/app" --parallel "$(nproc)"
bash scripts/windows/package.sh "$out"
