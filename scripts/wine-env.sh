# Sourced by the scripts that run Windows programs under Wine:
#     source scripts/wine-env.sh PREFIX    (then wine_env_stop when done)
# Sets up a private Wine prefix in PREFIX and exports what the programs need: WINEPREFIX,
# WINEDEBUG, WINEDLLOVERRIDES and a DISPLAY. Without a display it starts Xvfb first, since a
# prefix booted without one cannot make windows later. A persistent wineserver keeps the many
# short test programs from starting one each.

wine_env_start() {
    local prefix=$1
    mkdir -p "$prefix"
    export WINEPREFIX
    WINEPREFIX=$(cd "$prefix" && pwd)
    export WINEDEBUG=-all
    # No prompts to install Mono or Gecko.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    WINE_ENV_XVFB_PID=""
    if [ -z "${DISPLAY:-}" ]; then
        local display
        for display in $(seq 90 120); do
            [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
            Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
            WINE_ENV_XVFB_PID=$!
            export DISPLAY=":$display"
            local i
            for i in $(seq 50); do
                [ -e "/tmp/.X11-unix/X$display" ] && break
                sleep 0.1
            done
            break
        done
    fi
    WINE64=$(command -v /usr/lib/wine/wine64 || command -v wine64 || command -v wine)
    WINESERVER=$(command -v /usr/lib/wine/wineserver || command -v wineserver)
    export WINE64 WINESERVER
    "$WINESERVER" -p
    if [ ! -e "$WINEPREFIX/.quend-ready" ]; then
        "$WINE64" wineboot -i >/dev/null 2>&1 </dev/null
        local reg="$WINEPREFIX/quend.reg"
        # Without a window manager Wine waits on each hidden window unless it manages none; the
        # dialog fonts need a face with Chinese glyphs.
        {
            printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\r\n'
            printf '"Managed"="N"\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
            local face
            for face in SimSun NSimSun "MS Shell Dlg" "MS Shell Dlg 2" Tahoma "Microsoft YaHei" \
                "MS Sans Serif" SimHei; do
                printf '"%s"="WenQuanYi Micro Hei"\r\n' "$face"
            done
        } >"$reg"
        "$WINE64" regedit /S "$(winepath -w "$reg" 2>/dev/null || echo "Z:${reg//\//\\}")" \
            >/dev/null 2>&1
        touch "$WINEPREFIX/.quend-ready"
    fi
    # Wine's own background programs start with the first program of a session and keep the
    # output it was given open: started here, they hold /dev/null instead of a test's pipe.
    "$WINE64" wineboot >/dev/null 2>&1 </dev/null
}

wine_env_stop() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    fi
}

wine_env_start "${1:?usage: source scripts/wine-env.sh PREFIX}"
