#!/usr/bin/env bash
# Provides Qt 6.4.2 for 64-bit Windows (mingw-w64, posix threads) to the Windows build: qtbase with Core,
# Gui and Widgets, the windows, offscreen and minimal platform plugins, the windowsvista style and the ico
# image plugin, as shared libraries.
# Usage: scripts/windows/build-qt.sh PREFIX
#
# Takes the prebuilt archive when it is there and its checksum is the one below: QUORIX_QT_ARCHIVE, or
# ../shared/windows/qt6-mingw-6.4.2.tar.xz beside the repository. Otherwise builds the same Qt from
# Debian's own source package qt6-base (its patch series applied) with Debian's host tools of the same
# version (moc, rcc, uic): about 50 minutes on 2 cores, 944 build steps. Knobs for that build:
# QUORIX_QT_WORK (work folder, PREFIX.work), QUORIX_QT_JOBS (nproc), QUORIX_QT_STOP_AFTER=configure.
# PREFIX holds a stamp naming where its Qt came from; a second run with the same source does nothing.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$(realpath -m "${1:?usage: build-qt.sh PREFIX}")
qt_version=6.4.2
archive_sha256=2a71aa2b173d5416bad2799d7b3f9183566750862cb376713e939468b2f6b6ae
archive=${QUORIX_QT_ARCHIVE:-$repo/../shared/windows/qt6-mingw-$qt_version.tar.xz}

log() { echo "[build-qt] $*" >&2; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
done_from() { [ -f "$prefix/.quorix-qt" ] && [ "$(cat "$prefix/.quorix-qt")" = "$1" ]; }

# 1. The prebuilt archive.
if [ -f "$archive" ]; then
  sum=$(sha256sum "$archive" | cut -d' ' -f1)
  if [ "$sum" = "$archive_sha256" ]; then
    done_from "archive $sum" && exit 0
    log "unpacking $archive"
    rm -rf "$prefix" "$prefix.unpack"
    mkdir -p "$prefix.unpack"
    tar -C "$prefix.unpack" -xJf "$archive"
    mv "$prefix.unpack/qt6-mingw" "$prefix"
    rmdir "$prefix.unpack"
    echo "archive $sum" >"$prefix/.quorix-qt"
    exit 0
  fi
  log "$archive has checksum $sum, not $archive_sha256: building Qt from source instead"
else
  log "no $archive: building Qt from source"
fi

# 2. From Debian's source package, with the host tools of the same version.
export DEBIAN_FRONTEND=noninteractive
deps=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 cmake ninja-build perl
  xz-utils patch dpkg-dev qt6-base-dev qt6-base-dev-tools)
missing=()
for p in "${deps[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  log "installing ${missing[*]}"
  as_root apt-get update -qq
  as_root apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
host_version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
case "$host_version" in
  "$qt_version"+*) ;;
  *) echo "the host Qt tools are $host_version; Qt $qt_version for Windows needs the same version" >&2; exit 1 ;;
esac
done_from "source qt6-base $host_version" && exit 0

# apt-get source needs the source lists: each Debian entry of this machine gets its deb-src twin, for the
# same mirror and suites (both the one-line and the deb822 form).
if ! apt-cache showsrc qt6-base 2>/dev/null | grep '^Package: qt6-base' >/dev/null; then
  log "adding deb-src entries beside the machine's deb entries"
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  srcs=/etc/apt/sources.list.d/quorix-deb-src
  {
    grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list | grep -w "$codename" |
      sed 's/^deb /deb-src /' || true
  } | as_root tee "$srcs.list" >/dev/null
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    [ "$file" = "$srcs.sources" ] && continue
    # Paragraphs whose Types name deb and whose Suites name this release, with Types set to deb-src.
    awk -v rel="$codename" 'BEGIN { RS = ""; ORS = "\n\n" }
      $0 ~ "(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)" && $0 ~ "(^|\n)Suites:[^\n]*" rel {
        sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file"
  done | as_root tee "$srcs.sources" >/dev/null
  [ -s "$srcs.list" ] || as_root rm -f "$srcs.list"
  [ -s "$srcs.sources" ] || as_root rm -f "$srcs.sources"
  as_root apt-get update -qq
fi

work=$(realpath -m "${QUORIX_QT_WORK:-$prefix.work}")
jobs=${QUORIX_QT_JOBS:-$(nproc)}
src=$work/qtbase-everywhere-src-$qt_version
build=$work/build
mkdir -p "$work/dl"
upstream=${host_version%-*}
if [ ! -f "$work/dl/qt6-base_$upstream.orig.tar.xz" ]; then
  log "downloading the source package qt6-base $host_version"
  (cd "$work/dl" && apt-get source --download-only "qt6-base=$host_version" >/dev/null)
fi
if [ ! -f "$src/.patched" ]; then
  log "unpacking and patching"
  rm -rf "$src"
  tar -C "$work" -xf "$work/dl/qt6-base_$upstream.orig.tar.xz"
  tar -C "$src" -xf "$(ls "$work"/dl/qt6-base_"$host_version".debian.tar.*)"
  # Debian's patch series, as its own build applies it.
  grep -v -e '^#' -e '^[[:space:]]*$' "$src/debian/patches/series" | while read -r p _; do
    patch -d "$src" -p1 --forward --quiet <"$src/debian/patches/$p"
  done
  patch -d "$src" -p1 --forward --quiet <"$repo/scripts/windows/qt-qwindows-directwrite-needs-direct2d.patch"
  touch "$src/.patched"
fi

log "configuring"
rm -rf "$build"
# What the program does not use stays out: OpenGL, Vulkan, Direct2D (GDI draws the text), SQL, Network,
# D-Bus, XML, Concurrent, printing, tests; Qt's own copies of the image and text libraries are built in.
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_xml=OFF \
  -DFEATURE_concurrent=OFF -DFEATURE_printsupport=OFF -DFEATURE_testlib=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_androiddeployqt=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF \
  -DFEATURE_zstd=OFF -DFEATURE_icu=OFF >"$work/configure.log" 2>&1 ||
  { tail -40 "$work/configure.log" >&2; exit 1; }
[ "${QUORIX_QT_STOP_AFTER:-}" = configure ] && { log "configured in $build"; exit 0; }

log "building with $jobs jobs (about 50 minutes on 2 cores); the log is $work/build.log"
ninja -C "$build" -j "$jobs" >"$work/build.log" 2>&1 || { tail -40 "$work/build.log" >&2; exit 1; }
rm -rf "$prefix"
cmake --install "$build" >"$work/install.log" 2>&1 || { tail -40 "$work/install.log" >&2; exit 1; }
echo "source qt6-base $host_version" >"$prefix/.quorix-qt"
log "Qt installed in $prefix; $work can go"
