#!/usr/bin/env bash
# End to end under Wine with a display: "zntr.exe FIRSTINSTALL" walks its
# three steps. Step 1 fetches the product name list from the web server on
# 127.0.0.1 (the one thing only the server has); step 2 takes the local
# folder <installation>\SETUP, where the published demo lies, installs
# every package offered there, and step 3 closes the program with status 0.
#
#   windowed-firstinstall.sh <zntr.exe> <Windows stage folder> <native build folder> <work folder> <window_driver.exe>
set -euo pipefail
name=windowed-firstinstall
source "$(dirname "$0")/windowed-common.sh"
windowed_display "$0" "$@"
windowed_setup "$@"

# The source dialog's OK completes a folder with "\SETUP": the installation
# folder itself becomes <installation>\SETUP.
mkdir -p "$install/SETUP"
cp -a "$server/." "$install/SETUP/"
rm -f "$install/SETUP/pnames.txt"

wizard=$(text 700) source=$(text 300) selection=$(text 200) box=$(text 1)
start_zntr FIRSTINSTALL /ENG "/SERVER=$base"
await_window "$wizard" 60
drive wait-text "$wizard" "$(text 702)" 5 || fail "the wizard did not open at step 1"
shot firstinstall-1

drive click "$wizard" "$(text 711)" || fail "Next at step 1"
drive wait-text "$wizard" "$(text 703)" 60 || fail "step 2 did not come; $(drive text "$box" 2>&1)"
grep -q "GET /ovw2010/pnames.txt" "$work/server.log" || fail "the name list was not fetched from the server"
shot firstinstall-2

drive click "$wizard" "$(text 711)" || fail "Next at step 2"
drive click "$source" "$(text 303)" || fail "the source dialog's folder choice"
drive click "$source" "$(text 10)" || fail "the source dialog's OK"
drive click "$selection" "$(text 15)" || fail "the install selection's Select all"
drive click "$selection" "$(text 124)" || fail "the install selection's Install"
drive wait-text "$box" "$(text 612)" 180 || fail "the install run did not finish"
drive click "$box" "[Button:1]" || fail "the end of the run could not be confirmed"
drive wait-text "$wizard" "$(text 715)" 60 || fail "step 3 did not come"
shot firstinstall-3

drive click "$wizard" "$(text 710)" || fail "Close at step 3"
end_zntr
[ "$status" = 0 ] || fail "the program exited $status after the wizard closed, not 0"
cmp -s "$payload/bin/units.dll" "$install/bin/units.dll" || fail "bin/units.dll was not updated"
cmp -s "$payload/bin/frame.exe" "$install/bin/frame.exe" || fail "bin/frame.exe was not installed"
! grep -q "GET /ovw2010/packages.dat" "$work/server.log" || fail "step 2 used the server, not the folder"
echo "$name: passed"
