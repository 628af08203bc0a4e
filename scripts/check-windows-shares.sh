#!/usr/bin/env bash
# Cross-compiles the Windows implementation of the shares layer (src/core/shares/win and the plain files it
# uses) with mingw-w64 and links it against mpr, so the code that only runs on Windows is checked on Linux.
set -euo pipefail
cd "$(dirname "$0")/.."

# The posix thread model provides std::mutex with GCC 12; MSVC has it anyway.
CXX=""
for candidate in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
  if command -v "$candidate" >/dev/null; then CXX=$candidate; break; fi
done
if [ -z "$CXX" ]; then
  echo "mingw-w64 is not installed (scripts/deps.sh test installs it)" >&2
  exit 1
fi

# Windows' own programs are started by full path: a program named by its bare name would be searched for in
# the tool's own and the current folder first. The same check runs with every test run (house.windows_programs).
cmake -DSRC="$PWD/src" -P tests/house/check_windows_programs.cmake

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

sources=(src/core/shares/win/*.cpp src/core/shares/Paths.cpp src/core/shares/Platform.cpp src/core/shares/Gate.cpp
  src/core/shares/FileErrors.cpp src/core/shares/CommandLine.cpp
  src/core/shares/ModNetUse.cpp)
objects=()
for src in "${sources[@]}"; do
  obj="$out/$(basename "$src" .cpp).o"
  "$CXX" -std=c++20 -Wall -Wextra -Werror -Isrc -c "$src" -o "$obj"
  objects+=("$obj")
done

# Every service must resolve: a program that touches each one links only if all of them are defined.
cat > "$out/main.cpp" <<'CPP'
#include "core/shares/FileAccess.h"
#include "core/shares/ModNetUse.h"
#include "core/shares/Platform.h"
int main()
{
    std::vector<std::string> names;
    quorix::shares::files().list("x:\\MIR", "*.bak", names);
    quorix::ModNetUse::MapNetworkDrive("server\\backup", "X:", "user", "pw");
    quorix::shares::shell().openShare("server");
    quorix::shares::drives().dropAll();
    return quorix::ModNetUse::NetErrorText(5).empty();
}
CPP
"$CXX" -std=c++20 -Isrc -c "$out/main.cpp" -o "$out/main.o"
"$CXX" -static -o "$out/check.exe" "$out/main.o" "${objects[@]}" -lmpr
echo "Windows shares layer: ${#sources[@]} files compiled and linked with $CXX"
