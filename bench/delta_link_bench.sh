#!/usr/bin/env bash
# UPDATE /QUIET of one large file over a slow link, with and without a
# delta. The file (default 100 MiB of mixed data from mixed_data.sh) is
# installed at version 1; version 2 changes 1 % of its bytes in runs of 1
# to 16 at scattered places and ends in ten more bytes (the catalogue checks
# the file by its length). Version 2 is published, signed, twice: once
# with --previous <version 1> (archive, delta and packages.delta) and once
# without (archive only). nginx on 127.0.0.1 serves both with limit_rate
# (default 2m, that is 2 MiB/s, from the first byte). Each run starts from
# a fresh copy of the version 1 installation and fresh settings, and must
# end with status 0 and the installed file equal to version 2. Prints the
# two times (the best of the rounds), their ratio (target: at least 10),
# the bytes nginx sent in each run and the delta's size. A rate of 0 lifts
# the limit, which leaves what each way costs on this machine alone.
#
#   bash bench/delta_link_bench.sh [build folder] [MiB] [rate] [rounds]
#        (default: build, 100, 2m, 1)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mib=${2:-100}
rate=${3:-2m}
rounds=${4:-1}
publish=$build/tools/znt-publish/znt-publish
for need in "$build/stage/core/zntr.exe" "$publish"; do
  [ -x "$need" ] || { echo "delta_link_bench: $need is missing; build zntr, stage_data and znt-publish" >&2; exit 1; }
done
[ -x /usr/sbin/nginx ] || { echo "delta_link_bench: nginx is needed (limit_rate and its access log)" >&2; exit 1; }
command -v curl >/dev/null || { echo "delta_link_bench: curl is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-delta-link-bench-XXXXXX")
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

# The two versions, each in a payload folder of its own.
# shellcheck source=bench/mixed_data.sh
. "$root/bench/mixed_data.sh"
mkdir -p "$work/v1/data" "$work/v2/data"
mixed_data "$work/v1/data/big.bin" "$mib"
mixed_data_changed "$work/v1/data/big.bin" "$work/v2/data/big.bin" 16
# A data file is checked by its length, so version 2 must differ in it.
printf 'version 2\n' >>"$work/v2/data/big.bin"

cat >"$work/packages.txt" <<'EOF'
[package]
code = 30
version = 2.0
name.en = Bench Data
name.gr = Bench Data
description.en = One large data file.
description.gr = One large data file.
file = size data\big.bin
EOF
key=$root/demo/keys/DEMO-ONLY-secret.key
mkdir -p "$work/server/delta/ovw2010" "$work/server/full/ovw2010"
"$publish" --sign "$key" --previous "$work/v1" "$work/packages.txt" "$work/v2" \
  "$work/server/delta/ovw2010" >/dev/null
"$publish" --sign "$key" "$work/packages.txt" "$work/v2" "$work/server/full/ovw2010" >/dev/null
archive=$work/server/full/ovw2010/files/big.bin.zip
delta_files=("$work"/server/delta/ovw2010/files/*.zdelta)
if [ ! -f "${delta_files[0]}" ] || [ ! -f "$work/server/delta/ovw2010/packages.delta" ]; then
  echo "delta_link_bench: znt-publish --previous wrote no delta" >&2
  exit 1
fi
[ ! -e "$work/server/full/ovw2010/packages.delta" ] ||
  { echo "delta_link_bench: publishing without --previous left packages.delta" >&2; exit 1; }

# The version 1 installation that every run starts from a copy of.
pristine=$work/pristine
mkdir -p "$pristine/data"
cp -a "$build/stage/." "$pristine/"
cp "$root/demo/keys/demo-zntr.pub" "$pristine/core/zntr.pub"
cp "$work/v1/data/big.bin" "$pristine/data/big.bin"

# shellcheck source=bench/bench_nginx.sh
. "$root/bench/bench_nginx.sh"
start_bench_nginx "$work/nginx" "$work/server" "limit_rate $rate; limit_rate_after 0;" \
  /full/ovw2010/pnames.txt

# UPDATE /QUIET from the folder $1 of the server on a fresh version 1
# installation; stops the script unless it ends with status 0 and version 2
# installed. Sets $run_secs, $run_bytes, $run_archive and $run_delta (bytes
# nginx sent in all, of .zip files and of .zdelta files) and $run_refused
# (the program's reasons for not using a delta).
run_update() {
  local install=$work/install status=0 before t0 t1
  rm -rf "$install" "${work:?}/home"
  cp -a "$pristine" "$install"
  mkdir -p "$work/home/config" "$work/home/runtime"
  chmod 700 "$work/home/runtime"
  before=$(wc -l <"$log")
  t0=$(date +%s.%N)
  XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/home/runtime \
    "$install/core/zntr.exe" UPDATE /QUIET /ENG "/SERVER=http://127.0.0.1:$port/$1" \
    >"$work/update.out" 2>"$work/update.err" || status=$?
  t1=$(date +%s.%N)
  local wrong=""
  [ "$status" -eq 0 ] || wrong="ended with status $status"
  cmp -s "$work/v2/data/big.bin" "$install/data/big.bin" || wrong="${wrong:+$wrong and }left a data/big.bin that is not version 2"
  if [ -n "$wrong" ]; then
    echo "delta_link_bench: UPDATE /QUIET from /$1 $wrong" >&2
    tail -n 20 "$work/update.out" "$work/update.err" >&2
    exit 1
  fi
  run_refused=$(awk -F'\t' '$2 == "NO-DELTA" { print $4 }' "$install/core/zntr.log" 2>/dev/null || true)
  sleep 0.2  # nginx writes the log line once the request ends
  run_secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  read -r run_bytes run_archive run_delta < <(tail -n "+$((before + 1))" "$log" | awk '
    { all += $NF }
    $2 ~ /\.zip$/ { zip += $NF }
    $2 ~ /\.zdelta$/ { zdelta += $NF }
    END { printf "%d %d %d\n", all, zip, zdelta }')
}

cat "$work"/server/*/ovw2010/files/* "$pristine/data/big.bin" >/dev/null  # warm the cache
better() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }
delta_secs="" full_secs=""
for _ in $(seq "$rounds"); do
  run_update delta
  delta_secs=$(better "$run_secs" "$delta_secs")
  delta_bytes=$run_bytes delta_archive=$run_archive delta_sent=$run_delta delta_refused=$run_refused
  run_update full
  full_secs=$(better "$run_secs" "$full_secs") full_bytes=$run_bytes
done

printf 'delta_link_bench: %d MiB file, 1 %% of its bytes changed in runs of 1-16, nginx limit_rate %s, %d cores, load %s, best of %d\n' \
  "$mib" "$rate" "$(nproc)" "$(cut -d' ' -f1 /proc/loadavg)" "$rounds"
printf '                 %9s %14s\n' seconds "bytes served"
printf '  with delta     %9.2f %14d\n' "$delta_secs" "$delta_bytes"
printf '  without delta  %9.2f %14d\n' "$full_secs" "$full_bytes"
awk -v d="$delta_secs" -v f="$full_secs" 'BEGIN {
  printf "  ratio          %9.1f  (target >= 10) %s\n", f / d, (f / d >= 10 ? "ok" : "BELOW") }'
printf '  delta %s: %d bytes; archive big.bin.zip: %d bytes\n' "$(basename "${delta_files[0]}")" \
  "$(stat -c %s "${delta_files[0]}")" "$(stat -c %s "$archive")"
if [ "$delta_sent" -eq 0 ] || [ "$delta_archive" -ne 0 ]; then
  echo "  note: the run with a delta available fetched $delta_sent delta bytes and $delta_archive archive bytes"
  [ -z "$delta_refused" ] || echo "  the program did not use the delta: $delta_refused"
fi
