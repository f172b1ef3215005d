#!/bin/sh
# Starts the Quendalor launcher from a game folder the player can write to. The installed game
# folder is copied once to $XDG_DATA_HOME/quendalor (~/.local/share/quendalor); a newer launcher
# program in the installation replaces the player's copy. The launcher must run from its own
# folder: the game folder is the parent of its working folder.
set -eu
here=$(dirname "$(readlink -f "$0")")
installed="$here/../share/quendalor/Quendalor"
data="${XDG_DATA_HOME:-$HOME/.local/share}/quendalor"
game="$data/Quendalor"

if [ ! -d "$game" ]; then
    mkdir -p "$data"
    rm -rf "$game.part"
    cp -Rp "$installed" "$game.part"
    chmod -R u+w "$game.part"
    mv "$game.part" "$game"
elif [ "$installed/Launcher/Launcher" -nt "$game/Launcher/Launcher" ]; then
    cp -p "$installed/Launcher/Launcher" "$game/Launcher/Launcher.part"
    mv -f "$game/Launcher/Launcher.part" "$game/Launcher/Launcher"
fi

cd "$game/Launcher"
exec ./Launcher "$@"
