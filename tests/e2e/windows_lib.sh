# Shared by the scripts that drive the Windows launcher under Wine (sourced after e2e_lib.sh): a
# private Xvfb display, a private Wine prefix booted on it (its own wineserver, so nothing else
# that runs Wine meets it), and the launcher started from its folder. Exits 77 (skipped) when
# Wine, Xvfb or xdotool is missing.

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
command -v /usr/lib/wine/wine64 >/dev/null || command -v wine64 >/dev/null ||
    { echo "skipped: wine64 is not installed"; exit 77; }

# A private display, numbered by Xvfb itself; a prefix must boot with the display it will use.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh" "$work/wineprefix"
stop_hook=wine_env_stop

# The Windows form of a path of this machine.
windows_path() { winepath -w "$1" 2>/dev/null; }

# Starts Launcher.exe from its folder $1 (the game folder is its working folder's parent) and
# sets `window` once its window shows. The launcher restarts itself as Temp.exe; both and the
# game they start stay in the process group.
start_windows_launcher() {
    (cd "$1" && exec setsid "$WINE64" Launcher.exe >>"$work/launcher.log" 2>&1) &
    pids+=($!)
    window=$(timeout 60 xdotool search --sync --onlyvisible --name '^QUEND LAUNCHER$' |
        head -n1) || fail "the launcher's window did not show"
}

# Clicks at window coordinates. Without a window manager the keyboard follows the pointer, so a
# box is clicked before it is typed into.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.3
}

groups_sent() { grep -c ': request 40, ' "$work/devserver.log" || true; }
more_groups_than() { [ "$(groups_sent)" -gt "$1" ]; }
