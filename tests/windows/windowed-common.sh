# Shared part of the end-to-end runs of the windowed Windows program under
# Wine, sourced by windowed-*.sh:
#
#   windowed_setup <zntr.exe> <Windows stage folder> <native build folder> <work folder> <window_driver.exe>
#
# gives an installation ($install) of the stage and the demo's older
# packages, the demo published with this program as its own file
# ($server/ovw2010, signed with the key the installation trusts), a web
# server on 127.0.0.1 ($base: nginx, or Python's when nginx is missing) and
# these helpers:
#   text N          application text N of the English pack
#   drive ARGS...   the window driver (see helpers/window_driver.cpp)
#   start_zntr ARGS...  starts the program in the background ($zntr_pid)
#   end_zntr        waits for the program to end, up to 60 s; sets status
#   await_window TITLE SECONDS  the program's window opens (fails at once
#                   when the program ends first)
#   shot NAME       with $ZNT_SHOTS set: a screenshot $ZNT_SHOTS/NAME.png
# The windows need a display: without one, the calling script runs again
# under its own Xvfb (windowed_display "$0" "$@" first).

windowed_display() {
  if [ -z "${DISPLAY:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "$(basename "$1"): xvfb-run is missing" >&2; exit 1; }
    exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" bash "$@"
  fi
}

fail() {
  echo "$name: $*" >&2
  for log in "$work/zntr-err.txt" "$work/server.log"; do
    [ -s "$log" ] && { echo "--- $log" >&2; tail -20 "$log" >&2; }
  done
  exit 1
}

windowed_setup() {
  program=$(realpath -m "$1") stage=$(realpath -m "$2") native=$(realpath -m "$3")
  work=$(realpath -m "$4") driver=$(realpath -m "$5")
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  publish=$native/tools/znt-publish/znt-publish
  for need in "$program" "$driver" "$publish" "$native/demo/payload" "$stage/Languages"; do
    [ -e "$need" ] || { echo "$name: $need is missing (build the default preset first)" >&2; exit 1; }
  done
  export WINEPREFIX=${WINEPREFIX:-$(dirname "$stage")/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=C.UTF-8  # captions on the driver's command line reach Windows as UTF-16
  wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)

  rm -rf "$work" && mkdir -p "$work"
  payload=$work/payload server=$work/server/ovw2010 install=$work/install
  cp -a "$native/demo/payload" "$payload"
  cp "$program" "$payload/core/zntr.exe"
  "$publish" --sign "$root/demo/keys/DEMO-ONLY-secret.key" "$root/demo/server-src/packages.txt" \
    "$payload" "$server" >/dev/null

  mkdir -p "$install/core"
  cp -a "$stage/." "$install/"
  cp -a "$native/demo/installed-old/." "$install/"
  cp "$program" "$install/core/zntr.exe"
  cp "$root/demo/keys/demo-zntr.pub" "$install/core/zntr.pub"

  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
  base=http://127.0.0.1:$port
  # nginx when it is installed (a real HTTP/1.1 server, as the maker's),
  # else Python's simple server; either on 127.0.0.1 only, logging requests
  # to $work/server.log.
  if [ -x /usr/sbin/nginx ]; then
    local ngx=$work/nginx
    mkdir -p "$ngx"
    {
      echo "daemon off; master_process off; worker_processes 1;"
      echo "pid \"$ngx/nginx.pid\"; error_log \"$ngx/error.log\";"
      echo "events { worker_connections 64; }"
      echo "http {"
      echo "  access_log \"$work/server.log\"; default_type application/octet-stream;"
      for temp in client_body proxy fastcgi uwsgi scgi; do echo "  ${temp}_temp_path \"$ngx/$temp\";"; done
      echo "  gzip_static on; etag on; keepalive_timeout 65s; keepalive_requests 10000;"
      echo "  server { listen 127.0.0.1:$port; root \"$work/server\"; }"
      echo "}"
    } >"$ngx/nginx.conf"
    /usr/sbin/nginx -p "$ngx" -c "$ngx/nginx.conf" -e "$ngx/error.log" >/dev/null 2>&1 &
  else
    python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/server" >"$work/server.log" 2>&1 &
  fi
  server_pid=$!
  zntr_pid=
  trap 'kill $server_pid 2>/dev/null || true; [ -z "$zntr_pid" ] || kill $zntr_pid 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    python3 -c "import urllib.request; urllib.request.urlopen('$base/ovw2010/pnames.txt', timeout=1)" 2>/dev/null && break
    sleep 0.1
  done
}

text() { sed -n "s/^$1,\"\(.*\)\"\r\?$/\1/p" "$root/data/Languages/EN-ZNT.lng.utf8"; }

drive() { "$wine" "$driver" "$@"; }

start_zntr() {
  "$wine" "$install/core/zntr.exe" "$@" >"$work/zntr-out.txt" 2>"$work/zntr-err.txt" &
  zntr_pid=$!
}

end_zntr() {
  local waited=0
  while kill -0 "$zntr_pid" 2>/dev/null && [ $waited -lt 600 ]; do sleep 0.1; waited=$((waited + 1)); done
  kill -0 "$zntr_pid" 2>/dev/null && fail "the program did not end within 60 s"
  status=0
  wait "$zntr_pid" || status=$?
  zntr_pid=
}

await_window() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt $deadline ]; do
    drive wait-window "$1" 2 2>/dev/null && return 0
    if ! kill -0 "$zntr_pid" 2>/dev/null; then
      end_zntr
      fail "the program ended with status $status before \"$1\" opened"
    fi
  done
  fail "no window \"$1\" opened within $2 s"
}

shot() {
  [ -n "${ZNT_SHOTS:-}" ] || return 0
  mkdir -p "$ZNT_SHOTS"
  drive shot-ready && import -window root "$ZNT_SHOTS/$1.png"
}
