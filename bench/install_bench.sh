#!/usr/bin/env bash
# The unattended install of one large file (256 MiB, its archive about
# 90 MiB) against what a script would do by hand, in the same run over
# loopback:
#   (a) curl -o <archive> + unzip -o into a scratch folder + cp over the target
#   (b) core/zntr.exe UPDATE /QUIET /SERVER=... on an installation made for the run
# Each is the best of three rounds; the target is an install time of at
# most 0.85 of (a)'s. The archive is published with the build's znt-publish
# (unsigned, so no hash is checked) and served by nginx when it is
# installed, else by python3 -m http.server, bound to 127.0.0.1.
#
#   bash bench/install_bench.sh [build folder] [MiB] [rounds]   (default: build, 256, 3)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
mib=${2:-256}
rounds=${3:-3}
publish=$build/tools/znt-publish/znt-publish
for need in "$build/stage/core/zntr.exe" "$publish"; do
  [ -x "$need" ] || { echo "install_bench: $need is missing; build first" >&2; exit 1; }
done
command -v curl >/dev/null && command -v unzip >/dev/null || { echo "install_bench: curl and unzip are needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-install-bench-XXXXXX")
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Seven MiB blocks in twenty are random, the others repeat a short text:
# about 90 MiB deflated.
mkdir -p "$work/payload/data" "$work/server/ovw2010"
python3 - "$work/payload/data/big.bin" "$mib" <<'EOF'
import os, sys
text = b"".join(b"beam %04d section HEB-%03d load case %d\n" % (n, n % 600, n % 7) for n in range(300))
block = (text * (1 + (1 << 20) // len(text)))[: 1 << 20]
with open(sys.argv[1], "wb") as out:
    for n in range(int(sys.argv[2])):
        out.write(os.urandom(1 << 20) if n % 20 < 7 else block)
EOF
cat >"$work/packages.txt" <<'EOF'
[package]
code = 30
version = 1.0
name.en = Bench Data
name.gr = Bench Data
description.en = One large data file.
description.gr = One large data file.
file = size data\big.bin
EOF
"$publish" "$work/packages.txt" "$work/payload" "$work/server/ovw2010" >/dev/null
archive=$work/server/ovw2010/files/big.bin.zip
[ -f "$archive" ] || { echo "install_bench: publishing gave no $archive" >&2; exit 1; }

# An installation made for the run, holding an older (shorter) big.bin.
install=$work/install
mkdir -p "$install"
cp -a "$build/stage/." "$install/"
program=$install/core/zntr.exe
mkdir -p "$install/data"
export XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export no_proxy=127.0.0.1 NO_PROXY=127.0.0.1

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
if [ -x /usr/sbin/nginx ]; then
  ngx=$work/nginx
  mkdir -p "$ngx"
  {
    echo "daemon off; master_process off; worker_processes 1;"
    echo "pid \"$ngx/nginx.pid\"; error_log \"$ngx/error.log\";"
    echo "events { worker_connections 64; }"
    echo "http {"
    echo "  access_log off; default_type application/octet-stream;"
    for temp in client_body proxy fastcgi uwsgi scgi; do echo "  ${temp}_temp_path \"$ngx/$temp\";"; done
    echo "  server { listen 127.0.0.1:$port; root \"$work/server\"; }"
    echo "}"
  } >"$ngx/nginx.conf"
  /usr/sbin/nginx -p "$ngx" -c "$ngx/nginx.conf" -e "$ngx/error.log" >/dev/null 2>&1 &
  served_by=nginx
else
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/server" >/dev/null 2>&1 &
  served_by="python3 http.server"
fi
server_pid=$!
server=http://127.0.0.1:$port
url=$server/ovw2010/files/big.bin.zip
for _ in $(seq 50); do
  curl -sf -o /dev/null -r 0-0 "$url" && break
  sleep 0.1
done
cat "$archive" >/dev/null  # warm the cache

now() { date +%s.%N; }
better() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a < b) ? a : b }'; }

best_manual="" best_ours=""
for round in $(seq "$rounds"); do
  # (a) by hand, into a target folder of its own.
  rm -rf "$work/manual"
  mkdir -p "$work/manual/target" "$work/manual/scratch"
  printf 'old' >"$work/manual/target/big.bin"
  t0=$(now)
  curl -sf -o "$work/manual/big.bin.zip" "$url"
  unzip -o -qq "$work/manual/big.bin.zip" -d "$work/manual/scratch"
  cp "$work/manual/scratch/big.bin" "$work/manual/target/big.bin"
  t1=$(now)
  best_manual=$(better "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" "$best_manual")

  # (b) the program, on the installation with its old file back.
  rm -rf "$install/core/cache"
  mkdir -p "$install/core/cache"
  printf 'old' >"$install/data/big.bin"
  t0=$(now)
  status=0
  "$program" UPDATE /QUIET /ENG "/SERVER=$server" >"$work/update.out" 2>"$work/update.err" || status=$?
  t1=$(now)
  if [ "$status" -ne 0 ] || ! cmp -s "$install/data/big.bin" "$work/payload/data/big.bin"; then
    echo "install_bench: round $round: UPDATE /QUIET ended with status $status or a wrong file" >&2
    cat "$work/update.out" "$work/update.err" >&2
    exit 1
  fi
  best_ours=$(better "$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')" "$best_ours")
done

awk -v n="$mib" -v z="$(stat -c %s "$archive")" -v m="$best_manual" -v o="$best_ours" \
    -v cores="$(nproc)" -v by="$served_by" -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
  ratio = o / m
  printf "install_bench: %d MiB file, %.1f MiB archive, served by %s, %d cores, load %s, best of rounds\n", n, z / 1048576, by, cores, load
  printf "  curl -o + unzip -o + cp   %.3f s\n", m
  printf "  zntr.exe UPDATE /QUIET    %.3f s\n", o
  printf "  ratio %.2f (target <= 0.85) %s\n", ratio, (ratio <= 0.85 ? "ok" : "ABOVE")
}'
