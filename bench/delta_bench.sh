#!/usr/bin/env bash
# Deltas of a large file (default 100 MiB of mixed data: random, number text
# and base64 text, made by mixed_data.sh) of which 1 % of the bytes changed
# at scattered places: the delta's size against the full archive (zip -Z
# deflate), the time and peak memory of making it (znt-delta make, the
# publisher's encoder), and the time of rebuilding the file from it
# (znt-delta apply, the program's decoder) against "unzip -o" of the full
# archive (target: no more than 1.5 times unzip's time). Two kinds of change
# are measured: short runs of 1 to 16 changed bytes, and single changed
# bytes (the hardest case: each one costs its position and its value).
#
#   bash bench/delta_bench.sh [build folder] [MiB]     (default: build, 100)
#
# Rebuild and unzip timings are the best of three runs over a warm cache.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-100}
tool=$build/tools/znt-publish/znt-delta
[ -x "$tool" ] || { echo "delta_bench: $tool is missing; build the target znt-delta" >&2; exit 1; }
command -v zip >/dev/null && command -v unzip >/dev/null || { echo "delta_bench: zip and unzip are needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-delta-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# shellcheck source=bench/mixed_data.sh
. "$root/bench/mixed_data.sh"
mixed_data "$work/old.bin" "$mib"

# Runs a command; prints its wall time in seconds and its peak memory in MiB.
measure() {
  python3 - "$@" <<'EOF'
import resource, subprocess, sys, time
t0 = time.monotonic()
subprocess.run(sys.argv[1:], check=True)
t1 = time.monotonic()
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024
print(f"{t1 - t0:.3f} {peak:.0f}")
EOF
}

best_of_three() {
  local best=""
  for _ in 1 2 3; do
    rm -rf "$work/out"
    mkdir -p "$work/out"
    read -r t _ < <(measure "$@")
    best=$(echo "$t $best" | awk '{ if ($2 == "" || $1 < $2) print $1; else print $2 }')
  done
  echo "$best"
}

echo "delta_bench: ${mib} MiB file, 1 % of its bytes changed, $(nproc) cores"
for longest in 16 1; do
  mixed_data_changed "$work/old.bin" "$work/new.bin" "$longest"
  rm -f "$work/new.zip"
  (cd "$work" && zip -q -Z deflate new.zip new.bin)
  read -r make_s make_mib < <(measure "$tool" make "$work/old.bin" "$work/new.bin" "$work/new.delta")
  cat "$work/old.bin" "$work/new.delta" "$work/new.zip" >/dev/null  # warm the cache
  apply_s=$(best_of_three "$tool" apply "$work/old.bin" "$work/new.delta" "$work/out/new.bin")
  cmp -s "$work/new.bin" "$work/out/new.bin" || { echo "delta_bench: the rebuilt file differs" >&2; exit 1; }
  unzip_s=$(best_of_three unzip -o -qq "$work/new.zip" -d "$work/out")
  awk -v l="$longest" -v d="$(stat -c %s "$work/new.delta")" -v z="$(stat -c %s "$work/new.zip")" \
      -v ms="$make_s" -v mm="$make_mib" -v a="$apply_s" -v u="$unzip_s" 'BEGIN {
    printf "runs of 1-%d bytes: delta %.2f MiB (archive %.1f MiB, %.1f %%); make %.1f s, peak %d MiB; ", l, d / 1048576, z / 1048576, 100 * d / z, ms, mm
    printf "rebuild %.3f s, unzip -o %.3f s, ratio %.2f\n", a, u, a / u }'
done
