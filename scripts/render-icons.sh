#!/usr/bin/env bash
# Renders the window's icon from packaging/quorix-dbtools.svg into the PNGs the program carries in its
# resources (src/gui/app/data/icons/) and the Windows .ico (packaging/quorix-dbtools.ico). The results are
# committed, so neither the build nor the package needs these tools: run this after changing the SVG.
# Needs rsvg-convert (librsvg2-bin) and icotool (icoutils).
set -euo pipefail
cd "$(dirname "$0")/.."
svg=packaging/quorix-dbtools.svg
out=src/gui/app/data/icons
mkdir -p "$out"
for size in 16 24 32 48 64 128 256; do
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$out/quorix-dbtools-$size.png"
done
# The sizes Windows picks from for the title bar, the task bar and Explorer; 256 stored as PNG.
icotool -c -o packaging/quorix-dbtools.ico "$out"/quorix-dbtools-{16,24,32,48,64}.png \
  -r "$out/quorix-dbtools-256.png"
