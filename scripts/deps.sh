#!/usr/bin/env bash
# Installs the Debian packages the tool and its tests need, when any is missing.
# Usage: scripts/deps.sh run|test
set -euo pipefail

# What the built tool needs at run time comes from the list the .deb depends on; the rest builds it.
runtime=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' -e '/^$/d' "$(dirname "$0")/../packaging/run-packages.txt")
mapfile -t runtime_pkgs <<<"$runtime"
run_pkgs=("${runtime_pkgs[@]}" build-essential cmake ninja-build pkg-config qt6-base-dev libgl-dev
  unixodbc-dev libsmbclient-dev)
test_pkgs=(libgtest-dev freetds-bin unixodbc samba smbclient iproute2
  xvfb xauth mingw-w64 clang-format desktop-file-utils
  clang libclang-rt-dev) # the fuzz targets (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes

pkgs=("${run_pkgs[@]}")
[ "${1:-run}" = test ] && pkgs+=("${test_pkgs[@]}")

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
