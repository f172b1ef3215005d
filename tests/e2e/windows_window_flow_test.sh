#!/usr/bin/env bash
# The Windows edition played as a player would, through its native window: Launcher.exe of the
# staged Windows demo runs under Wine on a private display against quend-devserver (a Linux
# program), and xdotool clicks a server row, Update, types an account and clicks Start. Checked:
# the patched game files, Bin\Qnd.ini and the stand-in game's recorded command line and working
# folder; once without and once with the SMS second factor and its code dialog; then that a
# launcher ended by a lost connection leaves no Temp.exe.
#
# What only this test catches: the Win32 window over the window's rules as a program (the
# dialog templates, the skin's bitmaps at the skin's coordinates, the custom-drawn trees, the
# owner-drawn buttons, the posted messages of the workers), the self-update into Temp.exe, the
# game started with CreateProcessW, and the system's message boxes replaced by the log.
#   windows_window_flow_test.sh STAGED_WINDOWS_DEMO PLAIN_LAUNCHER_INI DEVSERVER PACK
# Exits 77 (skipped) when Wine, Xvfb, xdotool or ImageMagick is missing.
set -euo pipefail

staged=$1 plain_ini=$2 devserver=$3 pack=$4
for tool in import compare; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
source "$(dirname "$0")/e2e_lib.sh"

screen_at_failure() {
    [ -n "${DISPLAY:-}" ] && import -window root "$work/screen.png" 2>/dev/null &&
        echo "the screen at the failure: $work/screen.png"
}
failure_hook=screen_at_failure
source "$(dirname "$0")/windows_lib.sh"

cp -a "$staged/Quendalor" "$staged/update" "$staged/devserver.json" "$work/"
start_devserver "$devserver" "$work/devserver.json" "$plain_ini" \
    "$work/Quendalor/Launcher/Launcher.ini" "$pack"
devserver_group=${pids[-1]}

game=$work/Quendalor
skin=$game/Launcher/Skin/chs
# Message boxes would wait for a click: they go to this file instead.
QUEND_MESSAGE_LOG=$(windows_path "$work/messages.log")
export QUEND_MESSAGE_LOG

same_as_served() {
    local name
    while IFS= read -r -d '' name; do
        cmp -s "$work/update/quendalor/$name" "$game/$name" || return 1
    done < <(cd "$work/update/quendalor" && find . -type f ! -name 'checksum_*' -print0)
    [ ! -e "$game/checksum_all.md5" ]
}

# Whether the game button shows the skin's bitmap $2 (the pointer kept off it).
# A window that has gone can keep import waiting: each look is bounded.
button_shows() {
    timeout 5 xdotool mousemove --window "$1" 4 4 &&
        timeout 10 import -window "$1" -crop 208x60+656+462 +repage "$work/button.png" 2>/dev/null &&
        [ "$(compare -metric AE "$work/button.png" "$skin/$2.bmp" null: 2>&1)" = 0 ]
}

# The colour of the window's pixel at $2, $3 as RRGGBB.
pixel() {
    timeout 10 import -window "$1" -crop "1x1+$2+$3" +repage -depth 8 txt:- 2>/dev/null |
        sed -n 's/.*#\([0-9A-F]\{6\}\).*/\1/p' | tail -n1
}

# Chooses the first server of the "电信二区" group (127.0.0.1:7301), updates (the first time the
# files change; later the check finds them current), logs in with $3 / $4, and for an account
# with the second factor answers the code dialog with the code the service "sent".
play() {
    local window=$1 groups=$2 user=$3 password=$4 sms=${5:-}
    wait_for 30 more_groups_than "$groups" || fail "no server lists"
    sleep 1
    click "$window" 80 338
    button_shows "$window" update_normal || fail "no Update button after choosing a server"
    click "$window" 760 492                              # Update
    wait_for 60 button_shows "$window" start_normal || fail "the update did not end"
    same_as_served || fail "the game files were not patched"
    # The bars in the skin's colours: the overall one full, the file's one back at 0 (black).
    [ "$(pixel "$window" 326 511)" = FAE38D ] || fail "overall bar: $(pixel "$window" 326 511)"
    [ "$(pixel "$window" 326 495)" = 000000 ] || fail "file bar: $(pixel "$window" 326 495)"
    click "$window" 684 379 && xdotool type --delay 30 "$user"
    click "$window" 684 417 && xdotool type --delay 30 "$password"
    # Neither key logs in nor closes the window.
    xdotool key Return Escape
    sleep 0.5
    ! grep -q "gameLogin?accName=$user&" "$work/devserver.log" || fail "Enter logged in"
    xdotool search --onlyvisible --name '^QUEND LAUNCHER$' >/dev/null || fail "Escape closed"
    click "$window" 760 492                              # Start
    [ -z "$sms" ] || answer_code "$user"
}

# The code dialog's controls are placed in dialog units: the points are taken from its size.
answer_code() {
    local prompt code width height
    prompt=$(timeout 20 xdotool search --sync --onlyvisible --name '^Dialog$' | head -n1) ||
        fail "no code dialog"
    eval "$(xdotool getwindowgeometry --shell "$prompt")"
    width=$WIDTH height=$HEIGHT
    click "$prompt" $((width * 156 / 213)) $((height * 59 / 112 + 10))   # "get the code"
    wait_for 10 grep -q " code .* for $1 " "$work/devserver.log" || fail "no code was sent"
    code=$(grep -o " code [0-9]\{6\} for $1 " "$work/devserver.log" | tail -n1 | cut -d' ' -f3)
    click "$prompt" $((width * 61 / 213)) $((height * 60 / 112 + 10)) &&
        xdotool type --delay 30 "$code"
    xdotool key Return
}

# The launch record of the stand-in game, once it has started; then the game's box is closed
# and the launcher has ended by itself.
expect_launch() {
    local record=$game/Bin/Qnd.launch.txt user_id=$1 user_key=$2 box
    wait_for 60 test -s "$record" || fail "the game was not started"
    sleep 0.5
    grep -qxF "working_folder=$(windows_path "$game/Launcher")" "$record" ||
        fail "working folder: $(cat "$record")"
    grep -qx "command_line=USERID=$user_id USERKEY=$user_key UNDERAGE=0 -LauncherPassed -pzqmvt" \
        "$record" || fail "command line: $(cat "$record")"
    grep -q '^ServerHost=127.0.0.1' "$game/Bin/Qnd.ini" || fail "Qnd.ini: $(cat "$game/Bin/Qnd.ini")"
    grep -q '^ServerPort=7301' "$game/Bin/Qnd.ini" || fail "Qnd.ini: $(cat "$game/Bin/Qnd.ini")"
    box=$(timeout 20 xdotool search --sync --onlyvisible --name '^Quendalor$' | head -n1) ||
        fail "the game shows no window"
    xdotool mousemove --window "$box" 10 10
    sleep 0.3
    xdotool key Return
    wait_for 30 group_ended "${pids[-1]}" || fail "the launcher did not end"
    rm -f "$record"
}

group_ended() { ! kill -0 -- "-$1" 2>/dev/null; }

start_windows_launcher "$game/Launcher"
play "$window" 0 player1 quendalor
expect_launch 10001 7f3a9c21e4

start_windows_launcher "$game/Launcher"
play "$window" 1 guardian twinmoons sms
expect_launch 10002 51d0e8b4a9

# A launcher ended by a lost connection removes its Temp.exe, as one that closes does.
start_windows_launcher "$game/Launcher"
wait_for 30 more_groups_than 2 || fail "no server lists"
kill -TERM -- "-$devserver_group"
wait_for 30 group_ended "${pids[-1]}" || fail "the launcher did not end after the lost connection"
wait_for 30 test ! -e "$game/Launcher/Temp.exe" || fail "Temp.exe stayed after a lost connection"

# The only boxes: the recommended group's label, once per start, the code's dispatch and the
# lost connection.
printf 'Temp\t%s\n' 推荐 推荐 验证码已通过短信发送到138****6502,请查收 推荐 \
    与登录器服务器的连接已断开，登录器将关闭。 >"$work/expected-messages"
cmp -s "$work/expected-messages" "$work/messages.log" || fail "message boxes: $(cat "$work/messages.log")"
echo "passed"
