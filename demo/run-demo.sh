#!/usr/bin/env bash
# Runs zntr.exe against the built-in demo: a fresh demo installation made
# from the staged program, a local update server on 127.0.0.1 serving the
# demo catalogue and archives, and the demo CD folder as a local source,
# all signed with the demo key that the demo installation trusts.
#
#   bash demo/run-demo.sh [build folder]        (default: build)
#
# It prints what an update would do (LIST), updates the demo installation
# without windows (UPDATE /QUIET), runs the update again to show that
# nothing is left to do, removes one package (UNINSTALL /QUIET), shows a
# changed catalogue refused, and then
# opens the main window on the demo installation (under Xvfb when there is
# no display, for a fixed time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
stage=$build/stage
server_root=$build/demo/server
cd_root=$build/demo/cd
install=$build/demo/install

for need in "$stage/core/zntr.exe" "$server_root/ovw2010/packages.dat" "$cd_root/packages.dat"; do
  [ -e "$need" ] || { echo "run-demo: $need is missing; build first (cmake --build --preset default)" >&2; exit 1; }
done

# A fresh demo installation: the staged program, plus an older copy of one
# demo package so that the lists have an update and an installed package.
rm -rf "$install"
mkdir -p "$install"
cp -a "$stage/." "$install/"
if [ -d "$build/demo/installed-old" ]; then cp -a "$build/demo/installed-old/." "$install/"; fi
# The installed program stands for an older build: the update replaces it.
printf 'an older build' >> "$install/core/zntr.exe"
# The demo installation trusts the demo key, so every catalogue it fetches
# must carry the demo signature and every archive its signed hash.
cp "$root/demo/keys/demo-zntr.pub" "$install/core/zntr.pub"

# Keep the demo's settings and instance lock away from the user's own.
export XDG_CONFIG_HOME=$build/demo/config
export XDG_RUNTIME_DIR=$build/demo/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
# nginx (it answers range requests, so interrupted downloads resume) when it
# is installed, else Python's simple server; either listens on 127.0.0.1 only.
if [ -x /usr/sbin/nginx ]; then
  ngx=$build/demo/nginx
  mkdir -p "$ngx"
  {
    echo "daemon off; master_process off; worker_processes 1;"
    echo "pid \"$ngx/nginx.pid\"; error_log \"$ngx/error.log\";"
    echo "events { worker_connections 64; }"
    echo "http {"
    echo "  access_log \"$ngx/access.log\"; default_type application/octet-stream;"
    for temp in client_body proxy fastcgi uwsgi scgi; do echo "  ${temp}_temp_path \"$ngx/$temp\";"; done
    echo "  gzip_static on; etag on; keepalive_timeout 65s; keepalive_requests 10000;"
    echo "  server { listen 127.0.0.1:$port; root \"$server_root\"; }"
    echo "}"
  } >"$ngx/nginx.conf"
  /usr/sbin/nginx -p "$ngx" -c "$ngx/nginx.conf" -e "$ngx/error.log" >"$build/demo/server.log" 2>&1 &
else
  python3 -m http.server "$port" --bind 127.0.0.1 --directory "$server_root" >"$build/demo/server.log" 2>&1 &
fi
server_pid=$!
trap 'kill $server_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  python3 -c "import urllib.request,sys; urllib.request.urlopen('http://127.0.0.1:$port/ovw2010/pnames.txt', timeout=1)" 2>/dev/null && break
  sleep 0.1
done
server=http://127.0.0.1:$port
echo "Demo update server: $server (serving $server_root)"
echo "Demo installation:  $install"
echo

echo "== What an update from the server would do =="
"$install/core/zntr.exe" LIST /ENG "/SERVER=$server"
echo
echo "== What an update from the demo CD would do (in Greek) =="
"$install/core/zntr.exe" LIST "/SOURCE=$cd_root" "/SERVER=$server"
echo

# Runs the program and reports its exit status without ending the demo.
run() {
  local status=0
  "$install/core/zntr.exe" "$@" || status=$?
  echo "(exit status $status)"
}

echo "== Updating the demo installation from the server, without windows =="
run UPDATE /QUIET /ENG "/SERVER=$server"
echo
echo "== The same update again: nothing is left to do =="
run UPDATE /QUIET /ENG "/SERVER=$server"
echo
echo "== Removing the Greek help files (package 30), without windows =="
run UNINSTALL /QUIET /PACKAGE=30 /ENG "/SERVER=$server"
echo
echo "== What an update would do now =="
run LIST /ENG "/SERVER=$server"
echo
echo "== A copy of the CD with one changed byte in its catalogue is refused =="
changed=$build/demo/cd-changed
rm -rf "$changed" && cp -a "$cd_root" "$changed"
sed -i '1s/^/ /' "$changed/packages.dat"
run LIST /ENG "/SOURCE=$changed"
echo

if [ -n "${DISPLAY:-}" ]; then
  echo "== Opening the main window (close it to end the demo) =="
  "$install/core/zntr.exe" /ENG "/SERVER=$server"
elif command -v xvfb-run >/dev/null; then
  echo "== No display: opening the main window under Xvfb for 5 seconds =="
  shot=$build/demo/main-window.png
  xvfb-run -a -s "-screen 0 1024x768x24" bash -c "
    '$install/core/zntr.exe' /ENG '/SERVER=$server' & pid=\$!
    sleep 4
    command -v import >/dev/null && import -window root '$shot' || true
    kill \$pid 2>/dev/null; wait \$pid 2>/dev/null || true"
  [ -f "$shot" ] && echo "Screenshot of the main window: $shot"
else
  echo "No display and no xvfb-run: skipping the main window."
fi
