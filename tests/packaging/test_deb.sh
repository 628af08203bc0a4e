#!/usr/bin/env bash
# Checks the .deb that CPack built into DIR: its control fields, the files a desktop install needs, that
# every library the tool links to comes with a package it depends on, and that the tool runs from a scratch
# root it was unpacked into.
# Usage: test_deb.sh DIR VERSION
set -euo pipefail
dir=$1
version=$2
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

debs=("$dir"/quorix-dbtools_"$version"_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "FAIL: expected one quorix-dbtools_${version}_*.deb in $dir" >&2
  exit 1
fi
deb=${debs[0]}
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

# The run-time packages, nothing for building.
depends=$(dpkg-deb -f "$deb" Depends)
expected="libqt6core6, libqt6gui6, libqt6widgets6, qt6-qpa-plugins, libodbc2, odbcinst, tdsodbc, libsmbclient, fonts-dejavu-core, libqt6keychain1, libsecret-1-0"
[ "$depends" = "$expected" ] || fail "Depends is '$depends', expected '$expected'"
# What the shell buttons start, recommended: the tool runs without them.
recommends=$(dpkg-deb -f "$deb" Recommends)
expected_recommends="smbclient, xdg-utils, xterm | x-terminal-emulator"
[ "$recommends" = "$expected_recommends" ] ||
  fail "Recommends is '$recommends', expected '$expected_recommends'"
[ "$(dpkg-deb -f "$deb" Package)" = quorix-dbtools ] || fail "Package is $(dpkg-deb -f "$deb" Package)"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is $(dpkg-deb -f "$deb" Version)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
exe=$root/usr/bin/quorix-dbtools
entry=$root/usr/share/applications/quorix-dbtools.desktop
[ -x "$exe" ] || fail "no executable usr/bin/quorix-dbtools"
[ -f "$entry" ] || fail "no desktop entry usr/share/applications/quorix-dbtools.desktop"
if [ -f "$entry" ]; then
  desktop-file-validate "$entry" || fail "the desktop entry does not validate"
  # The entry must start what the package installs and show the icon it installs.
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  icon_name=$(sed -n 's/^Icon=//p' "$entry")
  [ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not in usr/bin"
  [ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ] ||
    fail "Icon=$icon_name has no usr/share/icons/hicolor/scalable/apps/$icon_name.svg"
  for size in 16 32 48 256; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon_name.png
    [ -f "$png" ] || fail "Icon=$icon_name has no usr/share/icons/hicolor/${size}x${size}/apps/$icon_name.png"
  done
fi
[ $failures -eq 0 ] || exit 1

# A normal dynamically linked program: no search path into the build tree.
if readelf -d "$exe" | grep -E 'R(UN)?PATH'; then fail "the installed tool keeps a library search path"; fi

# Every library the tool links to directly belongs to a package it depends on, or to one of theirs.
allowed=" $(echo "$depends" | tr -d ',') "
for p in $(echo "$depends" | tr -d ','); do
  allowed+="$(dpkg-query -W -f='${Depends}, ${Pre-Depends}' "$p" |
    sed -e 's/([^)]*)//g' -e 's/:any//g' | tr ',|' '  ' | tr -s ' ') "
done
owner_of() { # the package of a library file, under /lib or /usr/lib alike
  local real
  real=$(readlink -f "$1")
  for f in "$1" "$real" "${real#/usr}" "/usr$real"; do
    dpkg -S "$f" 2>/dev/null && return
  done
  return 0
}
loaded=$(ldd "$exe")
for soname in $(readelf -d "$exe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  path=$(echo "$loaded" | sed -n "s|^[[:space:]]*$soname => \(/[^ ]*\) .*|\1|p")
  # The dynamic loader is listed by its path alone.
  [ -n "$path" ] || path=$(echo "$loaded" | sed -n "s|^[[:space:]]*\(/[^ ]*/$soname\) .*|\1|p")
  owner=$(owner_of "$path" | head -n 1)
  owner=${owner%%:*}
  if [ -z "$path" ] || [ -z "$owner" ]; then
    fail "$soname (${path:-not found}) belongs to no package"
  elif [[ "$allowed" != *" $owner "* ]]; then
    fail "$soname comes from $owner, which the package does not depend on"
  fi
done

# Runs from the scratch root with no display, as after an install.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM HOME="$root" XDG_CONFIG_HOME="$root/config" \
  "$exe" --version) || fail "--version exited with $?"
echo "--version: $out"
[[ "$out" == *"$version"* ]] || fail "--version printed '$out', not the version $version"

[ $failures -eq 0 ]
