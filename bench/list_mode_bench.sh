#!/usr/bin/env bash
# The LIST mode of the built program over an installation of 10,000 packages
# and 50,000 size-checked files, against a plain listing of the same tree with
# find, in the same run (target: LIST no more than 1.7 times find).
#
#   bash bench/list_mode_bench.sh [build folder] [files]   (default: build, 50000)
#
# The installation is the build's staged tree (<build>/stage) copied beside
# the generated files, so the program finds itself in <installation>/core;
# the source folder holds the matching packages.dat. Five files a package;
# every 100th package has one file of the wrong size, so the install list is
# not empty. Both timings are the best of three runs over a warm cache.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-50000}
helper=$build/bench/list_build_bench
stage=$build/stage
for need in "$helper" "$stage/core/zntr.exe"; do
  [ -x "$need" ] || { echo "list_mode_bench: $need is missing; build the targets list_build_bench and zntr" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-list-mode-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$helper" make "$work/gen" "$files" size
install=$work/gen/tree
cp -r "$stage/." "$install/"
mkdir -p "$work/source/files"
cp "$work/gen/catalogue.dat" "$work/source/packages.dat"

# Best of three wall-clock seconds of the command given.
best_of_3() {
  local best=""
  for _ in 1 2 3; do
    local t0 t1
    t0=$(date +%s.%N)
    "$@" >/dev/null
    t1=$(date +%s.%N)
    best=$(echo "$t0 $t1 $best" | awk '{d=$2-$1; if ($3=="" || d<$3) print d; else print $3}')
  done
  echo "$best"
}

list_once() {
  local status=0
  "$install/core/zntr.exe" LIST /ENG "/SOURCE=$work/source" 2>"$work/list.err" || status=$?
  # LIST ends with 0 when there is something to list.
  if [ "$status" -ne 0 ]; then
    echo "list_mode_bench: LIST ended with status $status" >&2
    cat "$work/list.err" >&2
    return 1
  fi
}

find "$install" -type f -printf '%s\n' >/dev/null  # warm the cache
rows=$("$install/core/zntr.exe" LIST /ENG "/SOURCE=$work/source" 2>/dev/null | grep -c '^INSTALL' || true)
plain=$(best_of_3 find "$install" -type f -printf '%s\n')
list=$(best_of_3 list_once)
packages=$(( (files + 4) / 5 ))
awk -v n="$files" -v p="$packages" -v l="$list" -v f="$plain" -v r="$rows" 'BEGIN {
  printf "list_mode_bench: %d packages, %d size-checked files\n", p, n
  printf "find -printf %%s  %.3f s\n", f
  printf "zntr.exe LIST    %.3f s (%d install rows)\n", l, r
  printf "ratio            %.2f\n", l / f }'
