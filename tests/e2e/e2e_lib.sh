# Shared by the end-to-end scripts (sourced): a work folder removed at the end with the process
# groups they start, and the demo's devserver moved to ports of this run.
set -euo pipefail

work=$(mktemp -d)
pids=()
failure_hook=false  # a script's addition to a failure's report; true keeps the work folder
stop_hook=true      # what a script stops besides the process groups, before they are stopped

cleanup() {
    local status=$? keep=false
    # The hook sees the processes and the display as the failure left them.
    [ $status -eq 0 ] || ! "$failure_hook" || keep=true
    "$stop_hook"
    for pid in "${pids[@]}"; do kill -TERM -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true; done
    wait
    if [ $status -ne 0 ]; then
        for log in "$work"/*.log; do [ -s "$log" ] && { echo "--- $log"; cat "$log"; }; done
        "$keep" && return
    fi
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# Waits up to $1 seconds for the command after it to succeed; a slow command does not stretch the
# wait.
wait_for() {
    local end=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# Rewrites the demo configuration $2 (in place) and the demo's plain Launcher.ini $3 for ports
# that are free now, writes the encoded Launcher.ini $4 with quend-pack $5, and starts
# quend-devserver $1 with all its roles; the log is $work/devserver.log. Parallel runs and a
# running demo do not meet; a port taken meanwhile means another try.
start_devserver() {
    local devserver=$1 config=$2 plain_ini=$3 ini=$4 pack=$5 original base ports
    original=$(cat "$config")
    for _ in 1 2 3 4 5; do
        base=$((20000 + RANDOM % 20000 * 2))
        ports="s/42710/$base/g; s/42711/$((base + 1))/g; s/42712/$((base + 2))/g"
        sed "$ports" <<<"$original" >"$config"
        setsid "$devserver" --config "$config" --role all >"$work/devserver.log" 2>&1 &
        pids+=($!)
        if wait_for 10 all_listening; then
            sed "$ports" "$plain_ini" >"$work/Launcher.plain.ini"
            "$pack" ini "$work/Launcher.plain.ini" "$ini" || fail "quend-pack ini"
            return
        fi
        grep -q 'in use' "$work/devserver.log" || fail "the devserver did not start"
    done
    fail "no free ports for the devserver"
}

all_listening() { [ "$(grep -c ' listening on ' "$work/devserver.log")" -eq 3 ]; }

# Sanitizer builds: Qt's allocations at exit are not the launcher's leaks.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
