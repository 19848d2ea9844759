#!/usr/bin/env bash
# The release program users download: a Windows GUI program, stripped, that
# imports system DLLs only (nothing to ship beside it), with its debug
# information in a separate file it names.
#
#   release-program.sh <objdump> <release/zntr.exe>
set -euo pipefail
objdump=$1 program=$2
fail() { echo "release-program: $*" >&2; exit 1; }
[ -f "$program" ] && [ -f "$program.debug" ] || fail "$program or its .debug file is missing"
headers=$("$objdump" -p "$program")
grep -q "Subsystem.*(Windows GUI)" <<<"$headers" || fail "not a Windows GUI program"
system="advapi32 comctl32 comdlg32 gdi32 gdiplus kernel32 msvcrt ole32 shell32 user32 wininet ws2_32"
while read -r dll; do
  name=$(tr 'A-Z' 'a-z' <<<"${dll%.dll}" | sed 's/\.dll$//')
  grep -qw "$name" <<<"$system" || fail "imports $dll, which Windows does not provide"
done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
sections=$("$objdump" -h "$program")
! grep -q "\.debug_" <<<"$sections" || fail "debug sections left in the release program"
grep -q "\.gnu_debuglink" <<<"$sections" || fail "no link to zntr.exe.debug"
echo "release-program: $(stat -c %s "$program") bytes, $(sed -n 's/^\s*DLL Name: //p' <<<"$headers" | wc -l) system DLLs"
