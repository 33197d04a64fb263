# Shared by the robustness scripts: the programs, a scratch folder, simulated
# receivers and the checks on a database file. Sourced with the folder of the
# built programs as $bin.

set -uo pipefail
[ -x "$bin/zqreader-cli" ] && [ -x "$bin/zqreader-sim" ] || {
    echo "zqreader-cli and zqreader-sim are not built in $bin" >&2
    exit 2
}
work=$(mktemp -d)
sims=()
cleanup() {
    for pid in "${sims[@]}"; do
        kill "$pid" 2>/dev/null
    done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
finish() {
    if [ "$failures" -eq 0 ]; then
        echo "all checks passed"
        exit 0
    fi
    echo "$failures checks failed" >&2
    exit 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# make_log FILE N: N distinct events, oldest first, counters going up by 1 to
# 300 s; FILE.expected gets the rows they must become (TIMER|USER_NO|BUTTON).
make_log() {
    awk -v n="$2" -v logfile="$1" -v expected="$1.expected" 'BEGIN {
        counter = 1000
        for (i = 0; i < n; i++) {
            counter += 1 + (i * 7919) % 300
            field = 1 + (i * 31) % 511
            button = i % 2
            print counter, field, button > logfile
            print counter "|" field - 1 "|" button > expected
        }
    }'
}

# start_sim NAME ARGS...: starts a simulator; sets sim_pid and sim_port.
start_sim() {
    local name=$1
    shift
    "$bin/zqreader-sim" "$@" </dev/null >"$work/$name.out" 2>"$work/$name.err" &
    sim_pid=$!
    sims+=("$sim_pid")
    sim_port=
    for _ in $(seq 200); do
        sim_port=$(head -n 1 "$work/$name.out" 2>/dev/null)
        [ -n "$sim_port" ] && return 0
        sleep 0.05
    done
    echo "the simulator did not start: $(cat "$work/$name.err")" >&2
    exit 1
}

stop_sim() {
    kill "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

rows() { sqlite3 "$1" "SELECT TIMER, USER_NO, BUTTON FROM EVENTS ORDER BY [INDEX]"; }
count() { sqlite3 "$1" "SELECT COUNT(*) FROM EVENTS"; }
