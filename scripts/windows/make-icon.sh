#!/usr/bin/env bash
# Makes packaging/windows/quorix-dbtools.ico from packaging/quorix-dbtools.svg: the sizes Explorer, the
# Start menu and the taskbar ask for (16 to 64, and 256 stored as PNG). The .ico is committed, so building
# needs neither tool; run this after changing the SVG.
set -euo pipefail
cd "$(dirname "$0")/../.."
for tool in rsvg-convert:librsvg2-bin icotool:icoutils; do
  command -v "${tool%%:*}" >/dev/null || { echo "needs ${tool%%:*} (apt-get install ${tool##*:})" >&2; exit 1; }
done
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for size in 16 24 32 48 64 256; do
  rsvg-convert -w $size -h $size packaging/quorix-dbtools.svg -o "$tmp/$size.png"
done
icotool -c -o packaging/windows/quorix-dbtools.ico --raw="$tmp/256.png" "$tmp"/{16,24,32,48,64}.png
echo "packaging/windows/quorix-dbtools.ico: $(stat -c %s packaging/windows/quorix-dbtools.ico) bytes"
