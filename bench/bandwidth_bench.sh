#!/usr/bin/env bash
# The whole program on large archives over loopback, from
# <build>/bench/far_server without delays. In one run:
#   bandwidth: one archive of 256 MiB of random bytes; curl -o of it against
#     core/zntr.exe UPDATE /QUIET of this build's stage (fetch, extraction and
#     install of the file) and of the baseline stage $BASELINE_STAGE (default
#     /work/baseline/stage; a missing folder skips it). Best of the rounds;
#     target: curl/ours >= 0.9; baseline/ours is printed for comparison.
#   memory: four archives of 64 MiB installed by one UPDATE /QUIET with
#     $PARALLEL_SWITCH (default /PARALLEL=4; empty leaves it out), so that up
#     to four transfers run at once; target: peak resident memory under 64 MiB.
# Each program run works on a fresh installation whose files are out of date;
# a run that fails or leaves a wrong file stops the script. For the transfer
# alone (no installation), see download_bench.sh.
#
#   bash bench/bandwidth_bench.sh [build folder] [MiB] [rounds]   (default: build, 256, 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mib=${2:-256}
rounds=${3:-3}
PARALLEL_SWITCH=${PARALLEL_SWITCH-/PARALLEL=4}
BASELINE_STAGE=${BASELINE_STAGE-/work/baseline/stage}
far_connect_ms=0
far_response_ms=0
for need in "$build/stage/core/zntr.exe" "$build/bench/far_server" /usr/bin/time; do
  [ -x "$need" ] || { echo "bandwidth_bench: $need is missing; build first" >&2; exit 1; }
done
command -v curl >/dev/null || { echo "bandwidth_bench: curl is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-bandwidth-bench-XXXXXX")
# shellcheck source=far_runs.sh
. "$root/bench/far_runs.sh"
trap far_cleanup EXIT
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

better() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
mib_of() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
# Replaces the payload with $1 files of $2 MiB of random bytes and publishes them.
make_payload() {
  rm -rf "$work/payload" "$work/server"
  mkdir -p "$work/payload/data"
  for i in $(seq "$1"); do head -c $(($2 * 1048576)) /dev/urandom >"$work/payload/data/big$i.bin"; done
  publish_payload
  cat "$work"/server/ovw2010/files/*.zip >/dev/null  # warm the cache
}

# Bandwidth: one large archive.
make_payload 1 "$mib"
archive=$work/server/ovw2010/files/big1.bin.zip
archive_mib=$(awk -v z="$(stat -c %s "$archive")" 'BEGIN { print z / 1048576 }')
best_curl="" best_ours="" best_base="" ours_kb=0 base_kb=0
for _ in $(seq "$rounds"); do
  start_far_server
  t=$(curl -sSf -o "$work/curl.zip" -w '%{time_total}' "$far_url/ovw2010/files/big1.bin.zip")
  stop_far_server
  cmp -s "$work/curl.zip" "$archive" || { echo "bandwidth_bench: curl fetched a wrong archive" >&2; exit 1; }
  rm -f "$work/curl.zip"
  best_curl=$(better "$t" "$best_curl")

  fresh_installation "$build/stage"
  run_update ""
  best_ours=$(better "$run_secs" "$best_ours")
  [ "$run_peak_kb" -gt "$ours_kb" ] && ours_kb=$run_peak_kb

  if [ -x "$BASELINE_STAGE/core/zntr.exe" ]; then
    fresh_installation "$BASELINE_STAGE"
    run_update ""
    best_base=$(better "$run_secs" "$best_base")
    [ "$run_peak_kb" -gt "$base_kb" ] && base_kb=$run_peak_kb
  fi
done

# Memory: four archives at once.
make_payload 4 64
fresh_installation "$build/stage"
run_update "$PARALLEL_SWITCH"
four_secs=$run_secs four_kb=$run_peak_kb four_seen=$far_seen

printf 'bandwidth_bench: %d MiB archive (%.1f MiB) over loopback from far_server, %d cores, load %s, best of %d\n' \
  "$mib" "$archive_mib" "$(nproc)" \
  "$(cut -d' ' -f1 /proc/loadavg)" "$rounds"
printf '  curl -o                  %7.3f s\n' "$best_curl"
printf '  zntr.exe UPDATE /QUIET   %7.3f s  peak %s MiB\n' "$best_ours" "$(mib_of "$ours_kb")"
[ -n "$best_base" ] && printf '  baseline zntr.exe        %7.3f s  peak %s MiB\n' "$best_base" "$(mib_of "$base_kb")"
awk -v c="$best_curl" -v o="$best_ours" -v b="$best_base" 'BEGIN {
  printf "  curl/ours %.2f (target >= 0.9) %s\n", c / o, (c / o >= 0.9 ? "ok" : "BELOW")
  if (b != "") printf "  baseline/ours %.2f\n", b / o
}'
printf '  4 archives of 64 MiB, zntr.exe %s: %.3f s, peak %s MiB (target < 64) %s; %s\n' \
  "${PARALLEL_SWITCH:-(no switch)}" "$four_secs" "$(mib_of "$four_kb")" \
  "$([ "$four_kb" -lt $((64 * 1024)) ] && echo ok || echo ABOVE)" "$four_seen"
