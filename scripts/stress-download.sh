#!/usr/bin/env bash
# Paced downloads from the simulated receiver while four busy loops keep the
# processors occupied: every download must bring all its events.
# Usage: scripts/stress-download.sh [BUILD_DIR]   (else $ZQ_BUILD_DIR, else build)
# Exits 0 only when all runs are complete. Takes about 15 s a run.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-${ZQ_BUILD_DIR:-build}}
bin=$build/bin
runs=10
events=3000
for program in zqreader-sim zqreader-cli; do
    if [ ! -x "$bin/$program" ]; then
        echo "$bin/$program is not built" >&2
        exit 2
    fi
done

work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

for _ in 1 2 3 4; do
    sh -c 'while :; do :; done' &
    pids+=($!)
done

complete=0
for run in $(seq 1 $runs); do
    "$bin/zqreader-sim" --generate $events --seed "$run" </dev/null >"$work/sim.out" 2>"$work/sim.err" &
    sim=$!
    pids+=($sim)
    port=
    for _ in $(seq 100); do
        port=$(head -n 1 "$work/sim.out")
        [ -n "$port" ] && break
        sleep 0.1
    done
    db=$work/run$run.db
    if [ -z "$port" ]; then
        outcome="the simulator did not start: $(cat "$work/sim.err")"
        listed=0
    else
        "$bin/zqreader-cli" new "$db" >/dev/null
        outcome=$("$bin/zqreader-cli" read "$db" --port "$port" 2>&1)
        listed=$("$bin/zqreader-cli" list "$db" 2>/dev/null | wc -l)
    fi
    kill "$sim" 2>/dev/null
    wait "$sim" 2>/dev/null
    if [ "$outcome" = "Number of read events:  $events" ] && [ "$listed" -eq $events ]; then
        complete=$((complete + 1))
        echo "run $run: complete"
    else
        echo "run $run: $outcome; $listed rows listed"
    fi
done

echo "$complete of $runs complete"
[ $complete -eq $runs ]
