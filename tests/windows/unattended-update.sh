#!/usr/bin/env bash
# End to end under Wine: the Windows console zntr.exe updates a demo
# installation from a real web server on 127.0.0.1, then removes a package.
#
#   unattended-update.sh <zntr.exe> <Windows stage folder> <native build folder> <work folder>
#
# The native build supplies the publisher (znt-publish) and the demo payload;
# the catalogue is published here with the Windows program as the package
# manager's own file, signed with the demo key the installation trusts.
set -euo pipefail
program=$1 stage=$2 native=$3 work=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
publish=$native/tools/znt-publish/znt-publish
for need in "$program" "$publish" "$native/demo/payload" "$stage/Languages"; do
  [ -e "$need" ] || { echo "unattended-update: $need is missing (build the default preset first)" >&2; exit 1; }
done

export WINEPREFIX=${WINEPREFIX:-$(dirname "$stage")/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
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
printf 'an older build' >>"$install/core/zntr.exe"
cp "$root/demo/keys/demo-zntr.pub" "$install/core/zntr.pub"

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$work/server" >"$work/server.log" 2>&1 &
server_pid=$!
trap 'kill $server_pid 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/ovw2010/pnames.txt', timeout=1)" 2>/dev/null && break
  sleep 0.1
done

fail() { echo "unattended-update: $*" >&2; exit 1; }
# Runs the Windows program; sets out and status.
zntr() {
  status=0
  out=$("$wine" "$install/core/zntr.exe" "$@" 2>"$work/err.txt") || status=$?
  printf '%s\n' "$out"
  cat "$work/err.txt" >&2
}

zntr LIST /ENG "/SERVER=http://127.0.0.1:$port"
[ "$status" = 0 ] || fail "LIST exited $status"
grep -q "^INSTALL" <<<"$out" || fail "LIST offered nothing to install"

zntr UPDATE /QUIET /ENG "/SERVER=http://127.0.0.1:$port"
grep -q "^FETCHED" <<<"$out" || fail "no archive was fetched"
cmp -s "$payload/bin/units.dll" "$install/bin/units.dll" || fail "bin/units.dll was not updated"
cmp -s "$payload/bin/frame.exe" "$install/bin/frame.exe" || fail "bin/frame.exe was not installed"
# Windows keeps a running program's file: the new copy waits in the cache
# folder (status 6) until it runs from there, after the old copy has ended.
[ "$status" = 6 ] || fail "UPDATE /QUIET exited $status, not 6 (own copy staged)"
grep -q "^STAGED" <<<"$out" || fail "the program's own new copy was not staged"
cmp -s "$payload/core/zntr.exe" "$install/core/cache/zntr.exe" || fail "core/cache/zntr.exe is not the new copy"
status=0
# The staged copy's run is a window mode: its notices go to standard error.
ZNT_UNATTENDED=1 "$wine" "$install/core/cache/zntr.exe" >"$work/staged.txt" 2>&1 || status=$?
[ "$status" = 0 ] || { cat "$work/staged.txt" >&2; fail "the staged copy's run exited $status"; }
cmp -s "$payload/core/zntr.exe" "$install/core/zntr.exe" || fail "core/zntr.exe was not replaced by the staged copy"

zntr UPDATE /QUIET /ENG "/SERVER=http://127.0.0.1:$port"
[ "$status" = 4 ] || fail "a second UPDATE /QUIET exited $status, not 4 (nothing to do)"

zntr UNINSTALL /QUIET /PACKAGE=30 /ENG "/SERVER=http://127.0.0.1:$port"
[ "$status" = 0 ] || fail "UNINSTALL /QUIET exited $status"
[ ! -e "$install/help/gr/frame.htm" ] || fail "help/gr/frame.htm was not removed"
echo "unattended-update: passed"
