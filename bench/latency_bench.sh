#!/usr/bin/env bash
# Many small archives from a far server: 300 archives of 20 KiB of random
# bytes (one file each), served by <build>/bench/far_server, which waits
# 100 ms before it reads a new connection's first byte and 50 ms before each
# answer. In one run, each against a fresh server whose connection and request
# counts are printed:
#   (a) curl --parallel --parallel-max 4 of the 300 archives into files,
#       then unzip -o of each (what a script would do by hand)
#   (b) core/zntr.exe UPDATE /QUIET /SERVER=... of this build's stage, on a
#       fresh installation whose files are all out of date, with
#       $PARALLEL_SWITCH (default /PARALLEL=4; set it empty to leave it out)
#       and again with $SERIAL_SWITCH (default /PARALLEL=1; empty skips that run)
#   (c) the same with the baseline stage $BASELINE_STAGE (default
#       /work/baseline/stage; a missing folder skips the run)
# It prints the times, peak resident memory of the program runs, and the
# ratios ours/curl (target <= 1.2) and baseline/ours (target >= 5). A run that
# fails or leaves a wrong file stops the script.
#
#   bash bench/latency_bench.sh [build folder] [archives] [KiB]   (default: build, 300, 20)
#
# The delays can be changed with FAR_CONNECT_MS and FAR_RESPONSE_MS.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
count=${2:-300}
kib=${3:-20}
PARALLEL_SWITCH=${PARALLEL_SWITCH-/PARALLEL=4}
SERIAL_SWITCH=${SERIAL_SWITCH-/PARALLEL=1}
BASELINE_STAGE=${BASELINE_STAGE-/work/baseline/stage}
far_connect_ms=${FAR_CONNECT_MS:-100}
far_response_ms=${FAR_RESPONSE_MS:-50}
for need in "$build/stage/core/zntr.exe" "$build/bench/far_server" /usr/bin/time; do
  [ -x "$need" ] || { echo "latency_bench: $need is missing; build first" >&2; exit 1; }
done
command -v curl >/dev/null && command -v unzip >/dev/null || { echo "latency_bench: curl and unzip are needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-latency-bench-XXXXXX")
# shellcheck source=far_runs.sh
. "$root/bench/far_runs.sh"
trap far_cleanup EXIT
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

mkdir -p "$work/payload/data"
for i in $(seq -w 1 "$count"); do head -c $((kib * 1024)) /dev/urandom >"$work/payload/data/f$i.bin"; done
publish_payload
archives=$(ls "$work/server/ovw2010/files" | grep -c '\.zip$')
[ "$archives" -eq "$count" ] || { echo "latency_bench: published $archives archives, expected $count" >&2; exit 1; }

# (a) curl in parallel, then unzip of each.
start_far_server
mkdir -p "$work/curl/zips" "$work/curl/data"
for f in "$work"/server/ovw2010/files/*.zip; do
  name=$(basename "$f")
  printf 'url = "%s/ovw2010/files/%s"\noutput = "%s/curl/zips/%s"\n' "$far_url" "$name" "$work" "$name"
done >"$work/curl.config"
t0=$(date +%s.%N)
curl -sSf --no-progress-meter --parallel --parallel-max 4 -K "$work/curl.config"
t_fetched=$(date +%s.%N)
for z in "$work"/curl/zips/*.zip; do unzip -o -qq "$z" -d "$work/curl/data"; done
t1=$(date +%s.%N)
stop_far_server
diff -rq "$work/payload/data" "$work/curl/data" >/dev/null || { echo "latency_bench: curl + unzip left wrong files" >&2; exit 1; }
curl_secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
curl_split=$(awk -v a="$t0" -v f="$t_fetched" -v b="$t1" 'BEGIN { printf "(fetch %.3f s, unzip %.3f s)", f - a, b - f }')
curl_seen=$far_seen

# (b) this build, with the parallel switch and with the serial one.
fresh_installation "$build/stage"
run_update "$PARALLEL_SWITCH"
ours_secs=$run_secs ours_kb=$run_peak_kb ours_seen=$far_seen
serial_line=""
if [ -n "$SERIAL_SWITCH" ]; then
  fresh_installation "$build/stage"
  run_update "$SERIAL_SWITCH"
  serial_line=$(printf '  zntr.exe %-22s %7.3f s  peak %5.1f MiB  %s' "$SERIAL_SWITCH" "$run_secs" \
    "$(awk -v k="$run_peak_kb" 'BEGIN { print k / 1024 }')" "$far_seen")
fi

# (c) the baseline build.
base_secs=""
if [ -x "$BASELINE_STAGE/core/zntr.exe" ]; then
  fresh_installation "$BASELINE_STAGE"
  run_update ""
  base_secs=$run_secs base_kb=$run_peak_kb base_seen=$far_seen
fi

awk -v n="$count" -v kib="$kib" -v cd="$far_connect_ms" -v rd="$far_response_ms" \
    -v cores="$(nproc)" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
  printf "latency_bench: %d archives of %d KiB, far server (%d ms per connection, %d ms per answer), %d cores, load %s\n", n, kib, cd, rd, cores, load
}'
printf '  curl --parallel-max 4 + unzip %7.3f s  %s  %s\n' "$curl_secs" "$curl_split" "$curl_seen"
printf '  zntr.exe %-22s %7.3f s  peak %5.1f MiB  %s\n' "${PARALLEL_SWITCH:-(no switch)}" "$ours_secs" \
  "$(awk -v k="$ours_kb" 'BEGIN { print k / 1024 }')" "$ours_seen"
[ -n "$serial_line" ] && echo "$serial_line"
if [ -n "$base_secs" ]; then
  printf '  baseline zntr.exe              %7.3f s  peak %5.1f MiB  %s\n' "$base_secs" \
    "$(awk -v k="$base_kb" 'BEGIN { print k / 1024 }')" "$base_seen"
fi
awk -v c="$curl_secs" -v o="$ours_secs" -v b="$base_secs" 'BEGIN {
  printf "  ours/curl %.2f (target <= 1.2) %s\n", o / c, (o / c <= 1.2 ? "ok" : "ABOVE")
  if (b != "") printf "  baseline/ours %.2f (target >= 5) %s\n", b / o, (b / o >= 5 ? "ok" : "BELOW")
}'
