#!/usr/bin/env bash
# A 256 MiB archive over loopback: TransferToPartFile (the install run's
# download) against curl -o in the same run, from python3 -m http.server
# bound to 127.0.0.1. Targets: at least 0.8 of curl's throughput, peak
# resident memory under 64 MiB, and no gap over 50 ms between two turns of
# the event loop.
#
#   bash bench/download_bench.sh [build folder] [MiB] [rounds]   (default: build, 256, 3)
#
# Each round runs curl and then the program; the best time of each counts.
# For the whole program (UPDATE /QUIET: fetch, extraction and install) on an
# archive of the same size, see bandwidth_bench.sh.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
mib=${2:-256}
rounds=${3:-3}
helper=$build/bench/download_bench
[ -x "$helper" ] || { echo "download_bench: $helper is missing; build the target download_bench" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "download_bench: /usr/bin/time is missing" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-download-bench-XXXXXX")
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

size=$((mib * 1024 * 1024))
mkdir -p "$work/server/ovw2010/files" "$work/cache"
head -c "$size" /dev/urandom >"$work/server/ovw2010/files/big.zip"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/server" >/dev/null 2>&1 &
server_pid=$!
url=http://127.0.0.1:$port/ovw2010/files/big.zip
for _ in $(seq 50); do
  curl -sf -o /dev/null -r 0-0 "$url" && break
  sleep 0.1
done
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

best_curl="" best_ours="" worst_gap=0 peak_kb=0 moves=0
for _ in $(seq "$rounds"); do
  t=$(curl -sf -o "$work/cache/curl.zip" -w '%{time_total}' "$url")
  rm -f "$work/cache/curl.zip"
  best_curl=$(awk -v a="$t" -v b="$best_curl" 'BEGIN { print (b == "" || a < b) ? a : b }')

  /usr/bin/time -v -o "$work/time.txt" "$helper" "$url" "$size" "$work/cache" >"$work/out.txt"
  read -r bytes secs _ gap _ bar _ <"$work/out.txt"
  [ "$bytes" = "$size" ] || { echo "download_bench: received $bytes of $size bytes" >&2; exit 1; }
  kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  best_ours=$(awk -v a="$secs" -v b="$best_ours" 'BEGIN { print (b == "" || a < b) ? a : b }')
  worst_gap=$(awk -v a="$gap" -v b="$worst_gap" 'BEGIN { print (a > b) ? a : b }')
  [ "$kb" -gt "$peak_kb" ] && peak_kb=$kb
  moves=$bar
done

awk -v n="$mib" -v c="$best_curl" -v o="$best_ours" -v kb="$peak_kb" -v gap="$worst_gap" \
    -v moves="$moves" -v cores="$(nproc)" 'BEGIN {
  ratio = c / o
  printf "download_bench: %d MiB over loopback, %d cores, best of rounds\n", n, cores
  printf "  curl -o        %.3f s  %7.1f MiB/s\n", c, n / c
  printf "  TransferToPartFile %.3f s  %7.1f MiB/s  (%.2f of curl, target >= 0.80) %s\n", o, n / o, ratio, (ratio >= 0.8 ? "ok" : "BELOW")
  printf "  peak resident  %.1f MiB (target < 64) %s\n", kb / 1024, (kb < 64 * 1024 ? "ok" : "ABOVE")
  printf "  longest gap between yields %.1f ms (target <= 50) %s\n", gap, (gap <= 50 ? "ok" : "ABOVE")
  printf "  bar moves in the last round: %d\n", moves
}'
