#!/usr/bin/env bash
# Install-list build over 50,000 installed files against a plain listing of
# the same tree with find, in the same run (targets: size-checked files no more
# than twice find, version-checked files no more than three times).
#
#   bash bench/list_bench.sh [build folder] [files]     (default: build, 50000)
#
# First figure: size-checked files. Second: version-checked files (copies of
# a small generated PE with a version resource). Both timings are the best of
# three runs over a warm cache.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
files=${2:-50000}
helper=$build/bench/list_build_bench
make_pe=$build/demo/make-demo-pe
for need in "$helper" "$make_pe"; do
  [ -x "$need" ] || { echo "list_bench: $need is missing; build the targets list_build_bench and make-demo-pe" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/znt-list-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

best_find() {
  local best=""
  for _ in 1 2 3; do
    local t0 t1
    t0=$(date +%s.%N)
    find "$1" -type f -printf '%s\n' >/dev/null
    t1=$(date +%s.%N)
    best=$(echo "$t0 $t1 $best" | awk '{d=$2-$1; if ($3=="" || d<$3) print d; else print $3}')
  done
  echo "$best"
}

run() {
  local kind=$1 dir=$work/$1
  mkdir -p "$dir"
  if [ "$kind" = version ]; then
    "$make_pe" "$work/template.dll" 2.1.7.3
    "$helper" make "$dir" "$files" version "$work/template.dll"
  else
    "$helper" make "$dir" "$files" size
  fi
  find "$dir/tree" -type f -printf '%s\n' >/dev/null  # warm the cache
  read -r list rows < <("$helper" time "$dir" 3)
  local plain
  plain=$(best_find "$dir/tree")
  awk -v k="$kind" -v n="$files" -v l="$list" -v f="$plain" -v r="$rows" 'BEGIN {
    printf "%-8s %6d files: install list %.3f s (%d rows), find %.3f s, ratio %.2f\n", k, n, l, r, f, l / f }'
}

echo "list_bench: $files installed files, $(nproc) cores"
run size
run version
