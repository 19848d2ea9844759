#!/usr/bin/env bash
# Extraction of one large archive member (256 MiB of mixed data: random,
# number text and base64 text, deflated by zip -6) against Info-ZIP
# "unzip -o" in the same run (target: no more than 1.1 times unzip's time),
# once over libzip and once over our zlib reader (the one Windows builds use).
#
#   bash bench/extract_bench.sh [build folder] [MiB]     (default: build, 256)
#
# Both timings are the best of three runs over a warm cache; the output
# folder is emptied before each run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-256}
helper=$build/bench/extract_file_bench
[ -x "$helper" ] || { echo "extract_bench: $helper is missing; build the target extract_file_bench" >&2; exit 1; }
command -v zip >/dev/null && command -v unzip >/dev/null || { echo "extract_bench: zip and unzip are needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-extract-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/mixed_data.sh
. "$root/bench/mixed_data.sh"
mixed_data "$work/data.bin" "$mib"
(cd "$work" && zip -q -6 data.zip data.bin && rm data.bin)
cat "$work/data.zip" >/dev/null  # warm the cache

best_unzip=""
for _ in 1 2 3; do
  rm -rf "$work/out-unzip"
  t0=$(date +%s.%N)
  unzip -o -qq "$work/data.zip" -d "$work/out-unzip"
  t1=$(date +%s.%N)
  best_unzip=$(echo "$t0 $t1 $best_unzip" | awk '{d=$2-$1; if ($3=="" || d<$3) print d; else print $3}')
done
echo "extract_bench: ${mib} MiB member ($(stat -c %s "$work/data.zip") bytes compressed), $(nproc) cores"
for reader in libzip zlib; do
  read -r ours code < <("$helper" "$work/data.zip" "$work/out-ours" 3 "$reader")
  cmp -s "$work/out-unzip/data.bin" "$work/out-ours/data.bin" || { echo "extract_bench: $reader output differs" >&2; exit 1; }
  awk -v r="$reader" -v o="$ours" -v u="$best_unzip" -v c="$code" 'BEGIN {
    printf "extract (%s) %.3f s (code %d), unzip -o %.3f s, ratio %.2f\n", r, o, c, u, o / u }'
done
