#!/usr/bin/env bash
# Packages the cross-built Windows program: a portable zip and an NSIS installer, both of the version the
# .deb carries (the CMake project's VERSION).
# Usage: scripts/windows/package.sh [BUILD_DIR]   (build-win unless given; scripts/windows/build.sh calls it)
#
# The folder holds the program, every DLL it loads that Windows itself does not provide (found by following
# the imports of the program and of each DLL taken), the windows platform plugin, the offscreen one that
# --headless uses, and the native style: nothing else. The DLLs are stripped of their debug information.
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$(realpath -m "${1:-build-win}")
qt=$out/qt
app=$out/app
triple=x86_64-w64-mingw32

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$app/CMakeCache.txt")
[ -n "$version" ] || { echo "no version in $app/CMakeCache.txt: build first (scripts/windows/build.sh)" >&2; exit 1; }
name=quorix-dbtools-$version
stage=$out/stage/$name
rm -rf "$out/stage"
mkdir -p "$stage/platforms" "$stage/styles"

# Where the DLLs a mingw-w64 program needs come from: Qt, then the compiler's and the sysroot's runtime.
gcc_dir=$(dirname "$("$triple-g++-posix" -print-file-name=libstdc++-6.dll)")
search=("$qt/bin" "$gcc_dir" "/usr/$triple/lib" "/usr/$triple/bin")

cp "$app/src/quorix-dbtools.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$qt/plugins/platforms/qoffscreen.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

imports() { "$triple-objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p'; }
# Each file's imports, followed until only Windows' own DLLs are left; a DLL found nowhere is Windows'.
queue=("$stage/quorix-dbtools.exe" "$stage"/platforms/*.dll "$stage"/styles/*.dll)
declare -A seen=()
while [ ${#queue[@]} -gt 0 ]; do
  file=${queue[0]}
  queue=("${queue[@]:1}")
  while read -r dll; do
    key=${dll,,}
    [ -n "${seen[$key]:-}" ] && continue
    seen[$key]=1
    for dir in "${search[@]}"; do
      found=$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit 2>/dev/null)
      if [ -n "$found" ]; then
        cp "$found" "$stage/"
        queue+=("$stage/$(basename "$found")")
        break
      fi
    done
  done < <(imports "$file")
done
find "$stage" \( -iname '*.dll' -o -iname '*.exe' \) -exec "$triple-strip" --strip-unneeded {} +

zip=$out/$name-win64.zip
rm -f "$zip"
(cd "$out/stage" && zip -qr9 "$zip" "$name")

# The uninstaller deletes what was staged, file by file, then the folders deepest first.
files=$out/stage/uninstall-files.nsh
{
  (cd "$stage" && find . -type f | sort | sed -e 's|^\./||' -e 's|/|\\|g' -e 's|.*|Delete "$INSTDIR\\&"|')
  (cd "$stage" && find . -mindepth 1 -type d | sort -r | sed -e 's|^\./||' -e 's|/|\\|g' -e 's|.*|RMDir "$INSTDIR\\&"|')
} >"$files"
setup=$out/$name-setup.exe
makensis -V2 -NOCD -DVERSION="$version" -DSTAGE="$stage" -DFILES="$files" -DOUTFILE="$setup" \
  -DICON="$PWD/packaging/quorix-dbtools.ico" -DSIZE_KB="$(du -sk "$stage" | cut -f1)" \
  packaging/windows/quorix-dbtools.nsi

echo "portable zip: $zip ($(du -k "$zip" | cut -f1) KiB)"
echo "installer:    $setup ($(du -k "$setup" | cut -f1) KiB)"
echo "files: $(cd "$stage" && find . -type f | sed 's|^\./||' | sort | tr '\n' ' ')"
