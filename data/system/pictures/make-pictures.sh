#!/usr/bin/env bash
# Redraws the program's icon and the main window's two frame pictures with
# ImageMagick. The results are committed; the build only copies them.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

box=(-fill '#c8955a' -stroke '#7a5124' -strokewidth 1.5 -draw "polygon 6,22 24,30 24,46 6,38"
     -fill '#e0b27a' -draw "polygon 24,30 42,22 42,38 24,46"
     -fill '#f0cf9c' -draw "polygon 6,22 24,14 42,22 24,30")

convert -size 48x48 xc:none "${box[@]}" \
  -fill '#2e9d3a' -stroke '#1b5e22' -strokewidth 1.2 \
  -draw "polygon 19,2 29,2 29,12 35,12 24,24 13,12 19,12" \
  "$here/ZNT_Install.png"

convert -size 48x48 xc:none "${box[@]}" \
  -stroke '#a11d1d' -strokewidth 5 -draw "line 14,3 30,19" -draw "line 30,3 14,19" \
  -stroke '#e03a3a' -strokewidth 3 -draw "line 14,3 30,19" -draw "line 30,3 14,19" \
  "$here/ZNT_Uninstall.png"

convert -size 48x48 xc:none -fill '#1f5fa8' -stroke '#0e3766' -strokewidth 2 \
  -draw "roundrectangle 2,2 45,45 9,9" -fill white -stroke none \
  -draw "polygon 12,11 36,11 36,16 20,32 36,32 36,37 12,37 12,32 28,16 12,16" "$tmp/icon.png"
convert "$tmp/icon.png" -define icon:auto-resize=48,32,16 "$here/../MENU/ZNT.ico"
