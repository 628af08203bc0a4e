#!/usr/bin/env bash
# Installs the Debian packages the tool and its tests need, when any is missing.
# Usage: scripts/deps.sh run|test|windows|engine
set -euo pipefail

# What the built tool needs at run time comes from the list the .deb depends on; the rest builds it.
runtime=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$(dirname "$0")/../packaging/run-packages.txt")
mapfile -t runtime_pkgs <<<"$runtime"
run_pkgs=("${runtime_pkgs[@]}" build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev
  unixodbc-dev libsmbclient-dev qtkeychain-qt6-dev)
test_pkgs=(libgtest-dev freetds-bin unixodbc samba smbclient iproute2
  libssl-dev # the scripted server's TLS and the test certificates
  xvfb xauth mingw-w64 clang-format desktop-file-utils
  clang libclang-rt-dev # the fuzz targets (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes
  ccache # the compiler cache of the builds (scripts/compiler-cache.sh)
  nagios4-core # the mirroring check run by a real monitoring engine (tests/status/test_nagios_check.cpp)
  dbus-daemon gnome-keyring libsecret-tools) # a real Secret Service for the stored passwords' tests

# The T-SQL engine of the `engine` tests (tests/support/engine/engine.sh): its run-time libraries, the
# unpacker of its archive, and the tools its start script uses (ip, isql).
engine_pkgs=(xz-utils libicu72 libxml2 libossp-uuid16 libreadline8 libssl3 iproute2 unixodbc tdsodbc
  freetds-bin)

# The Windows build (scripts/windows/build.sh) and its run under Wine (scripts/windows/wine-test.sh): the
# cross compiler, Debian's own Qt tools (moc, rcc, uic) beside the Qt built for Windows, the packagers, and
# Wine with a virtual display and the driver that Wine's ODBC hands its calls to.
windows_pkgs=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build qt6-base-dev
  qt6-base-dev-tools xz-utils zip unzip nsis wine wine64 libwine fonts-wine xvfb xauth unixodbc odbcinst
  tdsodbc fonts-dejavu-core ccache)

case "${1:-run}" in
  run) pkgs=("${run_pkgs[@]}") ;;
  test) pkgs=("${run_pkgs[@]}" "${test_pkgs[@]}" "${engine_pkgs[@]}") ;;
  engine) pkgs=("${engine_pkgs[@]}") ;;
  windows) pkgs=("${windows_pkgs[@]}") ;;
  *) echo "usage: scripts/deps.sh run|test|windows|engine" >&2; exit 2 ;;
esac

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The SQL Server ODBC driver must be known to the driver manager by name.
if ! odbcinst -q -d 2>/dev/null | grep -q '^\[FreeTDS\]'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  lib=$(find /usr/lib -name libtdsodbc.so 2>/dev/null | head -n 1)
  if [ -n "$lib" ]; then
    printf '[FreeTDS]\nDescription=FreeTDS ODBC driver\nDriver=%s\n' "$lib" > /tmp/quorix-odbcinst.ini
    $SUDO odbcinst -i -d -f /tmp/quorix-odbcinst.ini >/dev/null
  fi
fi
