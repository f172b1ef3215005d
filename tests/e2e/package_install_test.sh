#!/usr/bin/env bash
# The .deb as a player gets it: built by CPack from this build, unpacked into a temporary root,
# its dependencies met by this machine, its files where the desktop looks for them; its starter
# copies the game folder into the player's data folder, and the launcher from there connects to the
# packaged devserver running the packaged demo, shows its window and fetches its pages.
#   package_install_test.sh BUILD_DIR CPACK PLAIN_LAUNCHER_INI
set -euo pipefail

build=$1 cpack=$2 plain_ini=$3
command -v dpkg-deb >/dev/null || { echo "skipped: dpkg-deb is not installed"; exit 77; }

work=$(mktemp -d)
pids=()
cleanup() {
    local status=$?
    for pid in "${pids[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || true; done
    wait
    if [ $status -ne 0 ]; then
        for log in "$work"/*.log; do [ -s "$log" ] && { echo "--- $log"; cat "$log"; }; done
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

wait_for() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

(cd "$build" && "$cpack" -G DEB -B "$work/package" >"$work/cpack.log" 2>&1) || fail "cpack"
deb=$(ls "$work"/package/*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"

# Every dependency is a package this machine has, at a version that satisfies it.
depends=$(dpkg-deb -f "$deb" Depends)
[ -n "$depends" ] || fail "the package names no dependencies"
while read -r name op version; do
    installed=$(dpkg-query -W -f='${Version}' "$name" 2>/dev/null) || fail "$name is not installed"
    [ -z "$op" ] || dpkg --compare-versions "$installed" "${op#(}" "${version%)}" ||
        fail "$name $installed does not satisfy $op $version"
done < <(tr ',' '\n' <<<"$depends" | sed 's/^ *//')

usr=$root/usr
for file in bin/quendalor-launcher bin/quend-pack bin/quend-devserver \
    share/quendalor/Quendalor/Launcher/Launcher share/quendalor/Quendalor/Launcher/Launcher.ini \
    share/quendalor/Quendalor/Bin/Qnd.exe share/quendalor/demo/devserver.json \
    share/applications/quendalor-launcher.desktop \
    share/icons/hicolor/256x256/apps/quendalor-launcher.png; do
    [ -e "$usr/$file" ] || fail "the package lacks /usr/$file"
done
grep -qx 'Exec=quendalor-launcher' "$usr/share/applications/quendalor-launcher.desktop" ||
    fail "the desktop entry does not start quendalor-launcher"

# The packaged demo on ports of this run, Launcher.ini written anew by the packaged quend-pack.
base=$((20000 + RANDOM % 20000 * 2))
ports="s/42710/$base/g; s/42711/$((base + 1))/g; s/42712/$((base + 2))/g"
demo=$usr/share/quendalor/demo
sed -i "$ports" "$demo/devserver.json"
sed "$ports" "$plain_ini" >"$work/Launcher.plain.ini"
"$usr/bin/quend-pack" ini "$work/Launcher.plain.ini" \
    "$usr/share/quendalor/Quendalor/Launcher/Launcher.ini" || fail "quend-pack ini"

export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
setsid "$usr/bin/quend-devserver" --config "$demo/devserver.json" --role all >"$work/devserver.log" 2>&1 &
pids+=($!)
all_listening() { [ "$(grep -c ' listening on ' "$work/devserver.log")" -eq 3 ]; }
wait_for 10 all_listening || fail "the packaged devserver did not start"

export HOME=$work/home XDG_DATA_HOME= QT_QPA_PLATFORM=offscreen
export QUEND_MESSAGE_LOG=$work/messages.log
setsid "$usr/bin/quendalor-launcher" >"$work/launcher.log" 2>&1 &
pids+=($!)
started() {
    [ "$(grep -c '"GET /web/' "$work/devserver.log")" -eq 4 ] &&
        grep -q ': request 40, 6 groups' "$work/devserver.log"
}
wait_for 30 started || fail "the launcher did not ask for the server lists and fetch its pages"
player=$HOME/.local/share/quendalor/Quendalor
cmp -s "$player/Launcher/Launcher" "$usr/share/quendalor/Quendalor/Launcher/Launcher" ||
    fail "the starter did not copy the game folder to $player"
echo "passed"
