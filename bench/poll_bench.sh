#!/usr/bin/env bash
# What a catalogue poll costs: two UPDATE /QUIET runs against an unchanged,
# signed, demo-sized catalogue served by nginx on 127.0.0.1, counting the
# catalogue bytes each run received (packages.dat, packages.sha256 and
# packages.sha256.minisig, from nginx's access log: $request $status
# $body_bytes_sent). The first run installs the demo; the second should
# transfer under 1 KiB of catalogue bytes. With a second program (the
# baseline build's core/zntr.exe) the same two runs are made with it on an
# installation of its own, for comparison.
#
#   bash bench/poll_bench.sh [build folder] [other zntr.exe]
#        (default: build, /work/baseline/stage/core/zntr.exe when it exists)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
other=${2:-/work/baseline/stage/core/zntr.exe}
publish=$build/tools/znt-publish/znt-publish
for need in "$build/stage/core/zntr.exe" "$publish" "$build/demo/payload"; do
  [ -e "$need" ] || { echo "poll_bench: $need is missing; build first" >&2; exit 1; }
done
[ -x /usr/sbin/nginx ] || { echo "poll_bench: nginx is needed (its access log counts the bytes)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-poll-bench-XXXXXX")
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/server/ovw2010"
"$publish" --sign "$root/demo/keys/DEMO-ONLY-secret.key" "$root/demo/server-src/packages.txt" \
  "$build/demo/payload" "$work/server/ovw2010" >/dev/null
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

# shellcheck source=bench/bench_nginx.sh
. "$root/bench/bench_nginx.sh"
start_bench_nginx "$work/nginx" "$work/server" \
  "gzip_static on; etag on; keepalive_timeout 65s; keepalive_requests 10000;" /ovw2010/pnames.txt
server=http://127.0.0.1:$port

# Catalogue bytes in the log since line $1, one line per file and a total.
catalogue_bytes() {
  tail -n "+$(( $1 + 1 ))" "$log" | awk '
    $2 ~ /\/ovw2010\/packages\.(dat|sha256|sha256\.minisig)$/ {
      n = $2; sub(/.*\//, "", n); bytes[n] += $(NF); codes[n] = codes[n] " " $(NF-1); total += $(NF)
    }
    END {
      for (n in bytes) printf "    %-24s %7d bytes  (status%s)\n", n, bytes[n], codes[n]
      printf "    %-24s %7d bytes\n", "catalogue total", total
    }'
}

# Two UPDATE /QUIET runs of program on a fresh installation made from stage.
two_runs() {
  local label=$1 stage=$2
  local install=$work/install-$label
  rm -rf "$install"
  mkdir -p "$install"
  cp -a "$stage/." "$install/"
  cp "$root/demo/keys/demo-zntr.pub" "$install/core/zntr.pub"
  for run in 1 2; do
    local before status=0
    before=$(wc -l <"$log")
    "$install/core/zntr.exe" UPDATE /QUIET /ENG "/SERVER=$server" >"$work/out.txt" 2>"$work/err.txt" || status=$?
    sleep 0.2  # nginx writes the log line once the connection's request ends
    echo "$label, UPDATE /QUIET run $run (exit $status):"
    catalogue_bytes "$before"
    [ "$status" -le 4 ] || sed 's/^/    err: /' "$work/err.txt"
  done
}

two_runs this "$build/stage"
if [ -x "$other" ]; then
  two_runs baseline "$(dirname "$(dirname "$other")")"
fi
