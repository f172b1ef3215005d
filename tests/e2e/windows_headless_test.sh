#!/usr/bin/env bash
# Launcher.exe of the staged Windows demo in its command-line mode under Wine, against
# quend-devserver (a Linux program): what a script that starts it sees on standard output, on
# standard error and in the exit status of --help, --verify and --repair, and of the errors that
# end a run (no Launcher.ini, no launcher server).
#   windows_headless_test.sh STAGED_WINDOWS_DEMO PLAIN_LAUNCHER_INI DEVSERVER PACK
# Exits 77 (skipped) when Wine is missing.
set -euo pipefail

staged=$1 plain_ini=$2 devserver=$3 pack=$4
source "$(dirname "$0")/e2e_lib.sh"
command -v /usr/lib/wine/wine64 >/dev/null || command -v wine64 >/dev/null ||
    { echo "skipped: wine64 is not installed"; exit 77; }
source "$(dirname "$0")/../../scripts/wine-env.sh" "$work/wineprefix"
stop_hook=wine_env_stop

cp -a "$staged/Quendalor" "$staged/update" "$staged/devserver.json" "$work/"
start_devserver "$devserver" "$work/devserver.json" "$plain_ini" \
    "$work/Quendalor/Launcher/Launcher.ini" "$pack"
game=$work/Quendalor served=$work/update/quendalor

# Runs Launcher.exe from its folder with the arguments given; sets `status`, `out` and `err`
# (line ends as a Linux reader sees them). A window instead of the command-line mode would wait:
# each run is bounded.
launcher() {
    status=0
    (cd "$game/Launcher" &&
        timeout 120 "$WINE64" Launcher.exe "$@" </dev/null >"$work/out" 2>"$work/err") || status=$?
    out=$(tr -d '\r' <"$work/out") err=$(tr -d '\r' <"$work/err")
}

expect() {
    [ "$status" = "$1" ] || fail "$2: status $status, out: $out, err: $err"
}

launcher --help
expect 0 "--help"
[[ $out == *--verify* && $out == *--repair* && -z $err ]] || fail "--help: $out / $err"

# The staged demo is older than what the server lists.
launcher --verify
expect 1 "--verify of the staged demo"
grep -qx 'Data\\version.txt' <<<"$out" || fail "--verify names: $out"
[[ $err == *"files differ; --repair fetches them"* ]] || fail "--verify says: $err"

launcher --repair
expect 0 "--repair"
[[ -z $out && $err == *"every file is current"* ]] || fail "--repair: $out / $err"
cmp -s "$served/Data/version.txt" "$game/Data/version.txt" || fail "version.txt not fetched"

launcher --verify
expect 0 "--verify of a current folder"
[[ -z $out && $err == *"files are current"* ]] || fail "--verify of a current folder: $out / $err"

echo changed >>"$game/Data/items.txt"
launcher --verify
expect 1 "--verify with a changed file"
[ "$out" = 'Data\items.txt' ] || fail "--verify with a changed file names: $out"
launcher --repair
expect 0 "--repair of the changed file"
cmp -s "$served/Data/items.txt" "$game/Data/items.txt" || fail "items.txt not fetched again"

# A new Launcher.exe on the update server: the run cannot replace the file it runs from, and says
# so; the other files are repaired.
cp "$served"/checksum_*.md5 "$work/"
mkdir "$served/Launcher"
{ cat "$game/Launcher/Launcher.exe"; printf 'next'; } >"$served/Launcher/Launcher.exe"
"$pack" checksums "$served" --out "$served" --version 1.0.3 >/dev/null
echo changed >>"$game/Data/items.txt"
launcher --repair
expect 2 "--repair of a new Launcher.exe"
[[ $err == *'Launcher.exe: '*'cannot replace itself while it runs'*'Temp.exe'* ]] ||
    fail "--repair of a new Launcher.exe says: $err"
cmp -s "$served/Data/items.txt" "$game/Data/items.txt" || fail "items.txt not fetched beside it"
rm -r "$served/Launcher"
cp "$work"/checksum_*.md5 "$served/"

mv "$game/Launcher/Launcher.ini" "$work/Launcher.ini.away"
launcher --verify
expect 2 "--verify without Launcher.ini"
[[ -z $out && $err == *"no Launcher.ini at "* ]] || fail "without Launcher.ini: $out / $err"
mv "$work/Launcher.ini.away" "$game/Launcher/Launcher.ini"

kill -TERM -- "-${pids[0]}"
wait "${pids[0]}" 2>/dev/null || true
launcher --repair
expect 2 "--repair without a launcher server"
[[ -z $out && $err == *"cannot reach the launcher server"* ]] || fail "no server: $out / $err"
echo "passed"
