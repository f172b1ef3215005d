#!/usr/bin/env bash
# Starts and stops the Linux update servers that a test program (possibly a Windows one under
# Wine) fetches from, as a CTest fixture:
#     devserver_fixture.sh start DIR DEVSERVER    serves DIR/root twice, as it is and cut
#     devserver_fixture.sh stop DIR
# start writes DIR/ports ("plain PORT" and "cut PORT" lines; each server's requests go to
# DIR/plain.log and DIR/cut.log), or DIR/skip with the reason when there is no devserver to run.
# DIR/small is a 2 MiB file system for the free-space checks (a tmpfs, where this may mount one;
# DIR/small.skip says why not).
set -euo pipefail
action=$1 dir=$2

stop() {
    local pid
    for pid in $(cat "$dir/pids" 2>/dev/null); do
        kill "$pid" 2>/dev/null || true
    done
    rm -f "$dir/pids"
    if [ -e "$dir/small.mounted" ]; then
        umount -l "$dir/small" 2>/dev/null || true
        rm -f "$dir/small.mounted"
    fi
}

case "$action" in
stop)
    stop
    exit 0 ;;
start) ;;
*)
    echo "usage: $0 start DIR DEVSERVER | stop DIR" >&2
    exit 2 ;;
esac

devserver=${3:-}
stop
rm -rf "$dir"
mkdir -p "$dir/root" "$dir/small"
if [ "$(id -u)" != 0 ]; then
    echo "mounting a tmpfs needs root" >"$dir/small.skip"
elif mount -t tmpfs -o size=2m tmpfs "$dir/small" 2>"$dir/small.err"; then
    touch "$dir/small.mounted"
else
    echo "cannot mount a tmpfs: $(cat "$dir/small.err")" >"$dir/small.skip"
fi
if [ -z "$devserver" ] || [ ! -x "$devserver" ]; then
    echo "no Linux devserver to run (${devserver:-none given}): build the default preset first" \
        >"$dir/skip"
    exit 0
fi

# Each transfer of the cut server ends after this many bytes.
cut_after=300000
for kind in plain cut; do
    faults=""
    [ "$kind" = cut ] && faults=", \"faults\": {\"cut_after\": $cut_after}"
    printf '{"update": {"port": 0, "root": "%s"%s}}\n' "$dir/root" "$faults" >"$dir/$kind.json"
    "$devserver" --config "$dir/$kind.json" --role update >"$dir/$kind.log" 2>&1 </dev/null &
    echo $! >>"$dir/pids"
done
for kind in plain cut; do
    port=""
    for _ in $(seq 100); do
        port=$(sed -n 's/^update server listening on 127\.0\.0\.1:\([0-9]*\),.*/\1/p' \
            "$dir/$kind.log")
        [ -n "$port" ] && break
        sleep 0.1
    done
    if [ -z "$port" ]; then
        cat "$dir/$kind.log" >&2
        stop
        exit 1
    fi
    echo "$kind $port" >>"$dir/ports.new"
done
mv "$dir/ports.new" "$dir/ports"
