#!/usr/bin/env bash
# The .deb as a player gets it: built by CPack from this build, unpacked into a temporary root,
# its dependencies met by this machine, its files where the desktop looks for them; its starter
# copies the game folder into the player's data folder, and the launcher from there connects to the
# packaged devserver running the packaged demo, shows its window and fetches its pages.
#   package_install_test.sh BUILD_DIR CPACK PLAIN_LAUNCHER_INI
set -euo pipefail

build=$1 cpack=$2 plain_ini=$3
command -v dpkg-deb >/dev/null || { echo "skipped: dpkg-deb is not installed"; exit 77; }
source "$(dirname "$0")/e2e_lib.sh"

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

# The packaged demo, Launcher.ini written anew by the packaged quend-pack.
usr_game=$usr/share/quendalor/Quendalor
start_devserver "$usr/bin/quend-devserver" "$usr/share/quendalor/demo/devserver.json" "$plain_ini" \
    "$usr_game/Launcher/Launcher.ini" "$usr/bin/quend-pack"

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
cmp -s "$player/Launcher/Launcher" "$usr_game/Launcher/Launcher" ||
    fail "the starter did not copy the game folder to $player"
echo "passed"
