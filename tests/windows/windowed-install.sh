#!/usr/bin/env bash
# End to end under Wine with a display: the Install command of the windowed
# zntr.exe's main window installs the demo packages from the web server on
# 127.0.0.1, its dialogs driven as a user would, and the program's own new
# copy completes the self-update over the next two starts.
#
#   windowed-install.sh <zntr.exe> <Windows stage folder> <native build folder> <work folder> <window_driver.exe>
set -euo pipefail
name=windowed-install
source "$(dirname "$0")/windowed-common.sh"
windowed_display "$0" "$@"
windowed_setup "$@"

# The installed program is an older build than the published one.
printf 'an older build' >>"$install/core/zntr.exe"

main="$(text 1)..." box=$(text 1) source=$(text 300) selection=$(text 200)
start_zntr /ENG "/SERVER=$base"
await_window "$main" 60
drive click "$main" "$(text 124)" || fail "the main window's Install"
drive wait-text "$source" "$(text 302)" 30 || fail "the source dialog did not open"
drive click "$source" "$(text 10)" || fail "the source dialog's OK (the update server)"
drive wait-text "$selection" "$(text 15)" 60 || fail "the install selection did not open"
shot install-selection
drive click "$selection" "$(text 15)" || fail "the install selection's Select all"
drive click "$selection" "$(text 124)" || fail "the install selection's Install"
# The run places every file, stages the program's own new copy and says so
# (text 609); then every window closes and the program ends.
drive wait-text "$box" "$(text 609)" 180 || fail "the run did not announce the staged copy"
drive click "$box" "[Button:1]" || fail "the staged copy's notice could not be confirmed"
end_zntr
[ "$status" = 0 ] || fail "the program exited $status after staging its new copy, not 0"
grep -q "GET /ovw2010/packages.dat" "$work/server.log" || fail "the catalogue did not come from the server"
cmp -s "$payload/bin/units.dll" "$install/bin/units.dll" || fail "bin/units.dll was not updated"
cmp -s "$payload/bin/frame.exe" "$install/bin/frame.exe" || fail "bin/frame.exe was not installed"
cmp -s "$payload/core/zntr.exe" "$install/core/cache/zntr.exe" || fail "core/cache/zntr.exe is not the new copy"
cmp -s "$payload/core/zntr.exe" "$install/core/zntr.exe" && fail "core/zntr.exe was replaced while it ran"

# The next start hands over to the staged copy, which replaces core\zntr.exe
# once this one has ended and tells the user to start again (before any pack
# is read, so its box is titled with the program's name).
start_zntr /ENG "/SERVER=$base"
notice="Orvantis live update will now update itself. Please restart the application to remove the previous version and replace it with the newer version."
drive wait-text zntr "$notice" 60 || fail "the staged copy did not tell the user"
drive click zntr "[Button:1]" || fail "the staged copy's notice could not be confirmed"
end_zntr
for _ in $(seq 300); do
  cmp -s "$payload/core/zntr.exe" "$install/core/zntr.exe" && [ -e "$install/core/cache/mess.txt" ] && break
  sleep 0.1
done
cmp -s "$payload/core/zntr.exe" "$install/core/zntr.exe" || fail "core/zntr.exe was not replaced by the staged copy"
drive wait-gone zntr 30 || fail "the staged copy's window stayed open"

# The start after that empties the cache folder and opens the main window.
start_zntr /ENG "/SERVER=$base"
await_window "$main" 60
[ ! -e "$install/core/cache/zntr.exe" ] || fail "the cache folder still holds the staged copy"
drive close "$main" || fail "the main window could not be closed"
end_zntr
[ "$status" = 0 ] || fail "the updated program exited $status, not 0"
echo "$name: passed"
