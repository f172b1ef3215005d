#!/usr/bin/env bash
# The Windows installer as a player runs it, under Wine: installed silently into a chosen game
# folder, its files are the packaged launcher folder, with a Start-menu shortcut and an
# uninstaller; the installed launcher, started through the shortcut, connects to quend-devserver,
# shows its window, lists the servers and loads its pages; Exit closes it; the uninstaller, run
# silently, leaves nothing behind: no file, no shortcut, no uninstall entry.
#   windows_installer_test.sh SETUP PACKAGED_FOLDER STAGED_WINDOWS_DEMO PLAIN_LAUNCHER_INI DEVSERVER PACK
# Exits 77 (skipped) when Wine, Xvfb or xdotool is missing.
set -euo pipefail

setup=$1 packaged=$2 staged=$3 plain_ini=$4 devserver=$5 pack=$6
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/windows_lib.sh"

drive=$WINEPREFIX/drive_c
game=$drive/Games/Quendalor
launcher=$game/Launcher
menu="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Quendalor"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QuendalorLauncher'

# The installer's exit status says little under Wine: the files say what it did.
"$WINE64" "$setup" /S '/D=C:\Games\Quendalor' >"$work/setup.log" 2>&1 || true
wait_for 30 test -e "$launcher/Uninstall.exe" || fail "nothing installed in $game"
diff -r "$packaged" "$launcher" -x Uninstall.exe >"$work/installed.diff" ||
    fail "the installed folder differs from the package: $(cat "$work/installed.diff")"
[ -e "$menu/Quendalor Launcher.lnk" ] || fail "no Start-menu shortcut"
"$WINE64" reg query "$key" /v UninstallString >"$work/reg.log" 2>&1 || fail "no uninstall entry"

# The installed launcher against the demo's servers, started as the Start menu starts it.
cp -a "$staged/update" "$staged/devserver.json" "$work/"
start_devserver "$devserver" "$work/devserver.json" "$plain_ini" "$launcher/Launcher.ini" "$pack"
QUEND_MESSAGE_LOG=$(windows_path "$work/messages.log")
export QUEND_MESSAGE_LOG
(exec setsid "$WINE64" start /unix "$menu/Quendalor Launcher.lnk" >>"$work/launcher.log" 2>&1) &
pids+=($!)
window=$(timeout 60 xdotool search --sync --onlyvisible --name '^QUEND LAUNCHER$' | head -n1) ||
    fail "the installed launcher's window did not show"
started() {
    [ "$(grep -c '"GET /web/' "$work/devserver.log")" -eq 4 ] &&
        grep -q ': request 40, 6 groups' "$work/devserver.log"
}
wait_for 30 started || fail "the launcher did not ask for the server lists and fetch its pages"
wait_for 10 grep -q '推荐' "$work/messages.log" || fail "the server trees were not filled"
click "$window" 850 22                                  # Exit
wait_for 30 sh -c '! xdotool search --onlyvisible --name "^QUEND LAUNCHER$" >/dev/null' ||
    fail "Exit did not close the launcher"

# The uninstaller copies itself away and returns at once: the files going is the answer.
"$WINE64" "$launcher/Uninstall.exe" /S >"$work/uninstall.log" 2>&1 || true
gone() { [ ! -e "$game" ] && [ ! -e "$menu" ]; }
wait_for 60 gone || fail "left behind: $(find "$game" "$menu" 2>/dev/null | head -n 20)"
! "$WINE64" reg query "$key" >/dev/null 2>&1 || fail "the uninstall entry is still there"
echo "passed"
