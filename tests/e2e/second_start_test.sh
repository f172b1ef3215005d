#!/usr/bin/env bash
# A second start while the launcher runs, as a player meets it: the staged demo's launcher on a
# private Xvfb display against quend-devserver, started again (refused with "不允许启动多个登录器"),
# then closed with its Exit button. The copy it runs from, Temp.exe, stays the same file while it
# runs and is gone once it has ended.
#   second_start_test.sh STAGED_DEMO PLAIN_LAUNCHER_INI DEVSERVER PACK
# Exits 77 (skipped) when Xvfb or xdotool is missing.
set -euo pipefail

staged=$1 plain_ini=$2 devserver=$3 pack=$4
for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
source "$(dirname "$0")/e2e_lib.sh"

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb

cp -a "$staged/Quendalor" "$staged/update" "$staged/devserver.json" "$work/"
launcher=$work/Quendalor/Launcher
start_devserver "$devserver" "$work/devserver.json" "$plain_ini" "$launcher/Launcher.ini" "$pack"

# Boxes would wait for a click; the single-instance locks stay among the launchers of this run.
export QUEND_MESSAGE_LOG=$work/messages.log TMPDIR=$work/tmp
mkdir -p "$TMPDIR"

# Starts the launcher from its folder in a process group of its own (the copy it hands over to
# stays in it); the group's id.
start_launcher() {
    (cd "$launcher" && exec setsid ./Launcher >>"$work/launcher.log" 2>&1) &
    pids+=($!)
    started=$!
}
group_ended() { ! kill -0 -- "-$1" 2>/dev/null; }
refusal=$'^Temp\t不允许启动多个登录器$'
refused() { grep -q "$refusal" "$work/messages.log" 2>/dev/null; }
inode() { stat -L -c %i "$1"; }

start_launcher
first=$started
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^QUEND LAUNCHER$' | head -n1) ||
    fail "the launcher's window did not show"
copy=
for process in /proc/[0-9]*; do
    [ "$(readlink "$process/exe" 2>/dev/null)" = "$launcher/Temp.exe" ] && copy=${process#/proc/}
done
[ -n "$copy" ] || fail "the launcher does not run as Temp.exe"
file=$(inode "$launcher/Temp.exe")

start_launcher
wait_for 30 refused || fail "the second start was not refused: $(cat "$work/messages.log")"
wait_for 30 group_ended "$started" || fail "the second start did not end"
[ "$(grep -c "$refusal" "$work/messages.log")" = 1 ] ||
    fail "more than one refusal: $(cat "$work/messages.log")"
[ "$(inode "$launcher/Temp.exe")" = "$file" ] && [ "$(inode "/proc/$copy/exe")" = "$file" ] ||
    fail "the second start replaced the running copy's file"

exit_x=$(sed -n 's/^Exit_x=\([0-9]*\).*/\1/p' "$launcher/Skin.ini")
exit_y=$(sed -n 's/^Exit_y=\([0-9]*\).*/\1/p' "$launcher/Skin.ini")
xdotool mousemove --window "$window" $((exit_x + 8)) $((exit_y + 8)) click 1
wait_for 30 group_ended "$first" || fail "Exit did not end the launcher"
[ ! -e "$launcher/Temp.exe" ] || fail "Temp.exe was left behind"
[ -x "$launcher/Launcher" ] || fail "the launcher's own program file went"
echo "passed"
