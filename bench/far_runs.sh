# Shared steps of the benchmarks that run the whole program against
# <build>/bench/far_server (sourced by latency_bench.sh and bandwidth_bench.sh,
# which set $work, $build and the far_* variables before calling these).
#
# far_connect_ms, far_response_ms   the server's delays (0 for none)

far_pid=""

# Publishes every file of $work/payload/data as one package with one archive
# per file (each checked by size) into $work/server/ovw2010.
# Reads $work/payload/data; writes $work/server/ovw2010.
publish_payload() {
  local publish=$build/tools/znt-publish/znt-publish
  [ -x "$publish" ] || { echo "$0: $publish is missing; build znt-publish" >&2; exit 1; }
  {
    printf '[package]\ncode = 30\nversion = 1.0\nname.en = Bench Data\nname.gr = Bench Data\n'
    printf 'description.en = Bench files.\ndescription.gr = Bench files.\n'
    for f in "$work"/payload/data/*; do printf 'file = size data\\%s\n' "$(basename "$f")"; done
  } >"$work/packages.txt"
  mkdir -p "$work/server/ovw2010"
  "$publish" "$work/packages.txt" "$work/payload" "$work/server/ovw2010" >/dev/null
}

# Starts a fresh far server on $work/server (so each run's counts are its
# own) and sets $far_url. Writes $work/far.counts when it stops.
start_far_server() {
  rm -f "$work/far.port" "$work/far.counts"
  "$build/bench/far_server" --root "$work/server" --connect-delay-ms "$far_connect_ms" \
    --response-delay-ms "$far_response_ms" --port-file "$work/far.port" \
    >"$work/far.counts" 2>/dev/null &
  far_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/far.port" ] && break
    sleep 0.05
  done
  [ -s "$work/far.port" ] || { echo "$0: far_server did not start" >&2; exit 1; }
  far_url=http://127.0.0.1:$(cat "$work/far.port")
}

# Stops the server and sets $far_seen to "<connections> connections, <requests> requests".
stop_far_server() {
  kill -TERM "$far_pid" 2>/dev/null || true
  wait "$far_pid" 2>/dev/null || true
  far_pid=""
  far_seen=$(awk '{ printf "%s connections, %s requests", $2, $4 }' "$work/far.counts")
}

# A fresh installation of the stage $1 at $work/install whose data files are
# all out of date (three bytes each), with settings of its own.
# Reads $1 and $work/payload/data; writes $work/install and $work/home.
fresh_installation() {
  rm -rf "$work/install" "$work/home"
  mkdir -p "$work/install" "$work/home/config" "$work/home/runtime"
  chmod 700 "$work/home/runtime"
  cp -a "$1/." "$work/install/"
  mkdir -p "$work/install/data"
  for f in "$work"/payload/data/*; do printf 'old' >"$work/install/data/$(basename "$f")"; done
}

# Runs UPDATE /QUIET of the installation at $work/install with the extra
# switch $1 (none when empty) against a fresh far server, under
# /usr/bin/time -v; stops the run on failure or on a file that differs.
# Sets $run_secs, $run_peak_kb (peak resident) and $far_seen.
run_update() {
  local switch=$1
  start_far_server
  local status=0 t0 t1
  t0=$(date +%s.%N)
  XDG_CONFIG_HOME=$work/home/config XDG_RUNTIME_DIR=$work/home/runtime \
    /usr/bin/time -v -o "$work/time.txt" "$work/install/core/zntr.exe" UPDATE /QUIET /ENG \
    "/SERVER=$far_url" ${switch:+"$switch"} >"$work/update.out" 2>"$work/update.err" || status=$?
  t1=$(date +%s.%N)
  stop_far_server
  if [ "$status" -ne 0 ] || ! diff -rq "$work/payload/data" "$work/install/data" >/dev/null; then
    echo "$0: UPDATE /QUIET $switch ended with status $status or wrong files" >&2
    tail -n 20 "$work/update.out" "$work/update.err" >&2
    exit 1
  fi
  run_secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')
  run_peak_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
}

far_cleanup() {
  [ -n "$far_pid" ] && kill -TERM "$far_pid" 2>/dev/null || true
  rm -rf "$work"
}
