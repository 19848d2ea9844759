#!/usr/bin/env bash
# The delta between two given versions of one file (for example the Windows
# release program, build-mingw/release/zntr.exe, copied before and after a
# one-line source change and a rebuild) against the new version's full
# archive (zip -Z deflate); checks that the delta rebuilds the new version.
#
#   bash bench/delta_pair_bench.sh <old file> <new file> [build folder]   (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { echo "usage: delta_pair_bench.sh <old file> <new file> [build folder]" >&2; exit 2; }
old=$1
new=$2
build=${3:-$root/build}
tool=$build/tools/znt-publish/znt-delta
[ -x "$tool" ] || { echo "delta_pair_bench: $tool is missing; build the target znt-delta" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-delta-pair-XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$new" "$work/$(basename "$new")"
(cd "$work" && zip -q -Z deflate new.zip "$(basename "$new")")
"$tool" make "$old" "$new" "$work/new.delta"
"$tool" apply "$old" "$work/new.delta" "$work/rebuilt"
cmp -s "$new" "$work/rebuilt" || { echo "delta_pair_bench: the rebuilt file differs" >&2; exit 1; }
awk -v n="$(stat -c %s "$new")" -v z="$(stat -c %s "$work/new.zip")" -v d="$(stat -c %s "$work/new.delta")" \
    -v c="$(cmp -l "$old" "$new" | wc -l)" 'BEGIN {
  printf "delta_pair_bench: %d bytes (%d differ at the same offsets), archive %d bytes, delta %d bytes (%.1f %% of the archive)\n", n, c, z, d, 100 * d / z }'
