#!/bin/sh
# Starts or stops the reference server (a native Linux program) for the Windows tests.
#   sim_fixture.sh start CORVO_SIM DIR   runs it in the background; returns once DIR/sim-ports.txt
#                                        names both ports (or fails after 30 s)
#   sim_fixture.sh stop DIR              ends the server started in DIR
set -eu

case "$1" in
start)
    sim=$2 dir=$3
    mkdir -p "$dir"
    rm -f "$dir/sim-ports.txt" "$dir/sim.pid"
    # Its own session and no inherited pipes, so CTest does not wait for it.
    setsid "$sim" --ports-file "$dir/sim-ports.txt" --quiet \
        </dev/null >"$dir/sim.log" 2>&1 &
    echo $! >"$dir/sim.pid"
    deadline=$(($(date +%s) + 30))
    until grep -q "stream=" "$dir/sim-ports.txt" 2>/dev/null; do
        if ! kill -0 "$(cat "$dir/sim.pid")" 2>/dev/null || [ "$(date +%s)" -ge "$deadline" ]; then
            echo "corvo-sim did not come up; its log:" >&2
            cat "$dir/sim.log" >&2
            exit 1
        fi
        sleep 0.1
    done
    cat "$dir/sim-ports.txt"
    ;;
stop)
    dir=$2
    [ -f "$dir/sim.pid" ] || exit 0
    pid=$(cat "$dir/sim.pid")
    kill -TERM "$pid" 2>/dev/null || true
    deadline=$(($(date +%s) + 15))
    while kill -0 "$pid" 2>/dev/null; do
        if [ "$(date +%s)" -ge "$deadline" ]; then
            echo "corvo-sim ignored SIGTERM" >&2
            kill -KILL "$pid" 2>/dev/null || true
            exit 1
        fi
        sleep 0.1
    done
    rm -f "$dir/sim.pid" "$dir/sim-ports.txt"
    ;;
*)
    echo "usage: $0 start CORVO_SIM DIR | stop DIR" >&2
    exit 2
    ;;
esac
