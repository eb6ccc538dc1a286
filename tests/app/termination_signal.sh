#!/usr/bin/env bash
# A termination signal closes Velmora through its close rule: the process
# ends by itself, with status 0, for each of SIGTERM, SIGINT and SIGHUP.
# With no settings file, start-up asks for a DNS server; the signal
# arrives while that question waits.
set -u
exe=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$exe" "$dir/velmora"
status=0
for sig in TERM INT HUP; do
    QT_QPA_PLATFORM=offscreen "$dir/velmora" >"$dir/out.txt" 2>&1 &
    pid=$!
    sleep 3
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "velmora ended before SIG$sig:"; cat "$dir/out.txt"; status=1; continue
    fi
    kill -"$sig" "$pid"
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
        echo "SIG$sig did not close the window"; kill -KILL "$pid"; status=1; continue
    fi
    wait "$pid"; rc=$?
    [ "$rc" -eq 0 ] || { echo "SIG$sig: exit status $rc"; status=1; }
done
[ "$status" -eq 0 ] && echo "termination signals: 3 passed, 0 failed"
exit "$status"
