#!/usr/bin/env bash
# End to end under Wine with a display: the windowed zntr.exe of a demo
# installation opens its main window, titled with the English pack's text 1
# and "...", and ends with status 0 when the window is closed.
#
#   windowed-program.sh <zntr.exe> <Windows stage folder> <native build folder> <work folder> <window_driver.exe>
set -euo pipefail
name=windowed-program
source "$(dirname "$0")/windowed-common.sh"
windowed_display "$0" "$@"
windowed_setup "$@"

title="$(text 1)..."
[ "$title" != "..." ] || fail "the English pack has no text 1"
start_zntr /ENG "/SERVER=$base"
await_window "$title" 60
drive wait-text "$title" "$(text 124)" 5 || fail "the main window shows no Install button"
shot main-window
drive close "$title" || fail "the main window could not be closed"
end_zntr
[ "$status" = 0 ] || fail "the program exited $status after its main window closed, not 0"
echo "$name: passed"
