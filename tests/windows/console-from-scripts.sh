#!/usr/bin/env bash
# Under Wine: the windowed zntr.exe (a GUI-subsystem program) run from batch
# files by cmd. A batch file must see the exit status in %ERRORLEVEL%, and
# output redirected to files must hold the program's lines.
#
#   console-from-scripts.sh <zntr.exe> <Windows stage folder> <work folder> [<native build folder>]
#
# With a native build that has the demo CD (demo/cd), LIST also reads a real
# catalogue from it.
set -euo pipefail
program=$1 stage=$2 work=$3 native=${4:-}

export WINEPREFIX=${WINEPREFIX:-$(dirname "$stage")/wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)

rm -rf "$work" && mkdir -p "$work/install/core" "$work/empty"
cp -a "$stage/." "$work/install/"
cp "$program" "$work/install/core/zntr.exe"
demo=""
[ -n "$native" ] && [ -e "$native/demo/cd/packages.dat" ] && demo=$native/demo/cd

fail() { echo "console-from-scripts: $*" >&2; exit 1; }

# The batch file, with CR LF lines. Redirections come first on echo lines,
# so that a status digit is never read as a handle number.
{
  echo '@echo off'
  echo 'install\core\zntr.exe /? >usage.txt 2>usage-err.txt'
  echo '>status.txt echo usage=%ERRORLEVEL%'
  echo 'install\core\zntr.exe LIST /ENG /SOURCE=empty >list-empty.txt 2>list-empty-err.txt'
  echo '>>status.txt echo list-empty=%ERRORLEVEL%'
  if [ -n "$demo" ]; then
    cp -a "$demo" "$work/cd"
    echo 'install\core\zntr.exe LIST /ENG /SOURCE=cd >list.txt 2>list-err.txt'
    echo '>>status.txt echo list=%ERRORLEVEL%'
  fi
  echo 'exit /b 0'
} | sed 's/$/\r/' >"$work/run.bat"

(cd "$work" && "$wine" cmd /c run.bat) || fail "cmd /c run.bat failed"
[ -e "$work/status.txt" ] || fail "the batch file wrote no status"
status=$(tr -d '\r' <"$work/status.txt")
echo "$status"

grep -qx 'usage=0' <<<"$status" || fail "/? did not give status 0 to the batch file"
grep -q '^Usage: zntr.exe' "$work/usage.txt" || fail "the usage text is not in the redirected output"
grep -q 'UNINSTALL /QUIET' "$work/usage.txt" || fail "the usage text is cut short"
[ ! -s "$work/usage-err.txt" ] || fail "/? wrote to standard error: $(cat "$work/usage-err.txt")"

grep -qx 'list-empty=1' <<<"$status" || fail "LIST without a catalogue did not give status 1"
grep -q 'LIST: ' "$work/list-empty-err.txt" || fail "LIST's reason is not in the redirected error output"
[ ! -s "$work/list-empty.txt" ] || fail "LIST without a catalogue printed rows"

# Nothing redirected, in a terminal: the lines and the closing status line
# reach the console (Wine draws it with cursor moves; blanks are dropped).
printf '@echo off\r\ninstall\\core\\zntr.exe LIST /ENG /SOURCE=empty\r\nexit /b 0\r\n' >"$work/plain.bat"
(cd "$work" && script -qec "\"$wine\" cmd /c plain.bat" /dev/null) >"$work/terminal.txt" 2>&1 ||
  fail "cmd /c plain.bat failed"
shown=$(sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$work/terminal.txt" | tr -d ' \r\n')
grep -q 'LIST:notinthesourcefolder' <<<"$shown" || fail "LIST's message did not reach the console"
grep -q 'zntr.exe:exitstatus1' <<<"$shown" || fail "no closing status line on the console"

if [ -n "$demo" ]; then
  grep -qx 'list=0' <<<"$status" || fail "LIST over the demo CD did not give status 0"
  grep -q $'^INSTALL\t' "$work/list.txt" || fail "LIST over the demo CD printed no INSTALL row"
else
  echo "console-from-scripts: no native demo CD; LIST over a catalogue not run"
fi
echo "console-from-scripts: passed"
