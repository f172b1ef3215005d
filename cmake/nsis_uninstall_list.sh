#!/usr/bin/env bash
# Writes the uninstaller's list for the launcher folder FOLDER into OUT: a Delete line for each
# file, then an RMDir line for each sub-folder, deepest first (RMDir leaves a folder that is not
# empty, so files the player added stay).
#   nsis_uninstall_list.sh FOLDER OUT
set -euo pipefail
folder=$1 out=$2
{
    (cd "$folder" && find . -type f | sort) | sed 's|^\./||; s|/|\\|g' |
        while IFS= read -r file; do printf 'Delete "$INSTDIR\\%s"\n' "$file"; done
    (cd "$folder" && find . -mindepth 1 -type d | sort -r) | sed 's|^\./||; s|/|\\|g' |
        while IFS= read -r dir; do printf 'RMDir "$INSTDIR\\%s"\n' "$dir"; done
} >"$out"
