#!/usr/bin/env bash
# zqreader-cli read killed with SIGKILL at moments spread over an unpaced
# download of 6000 events, commit included. After every kill the file is
# intact and holds none or all of that download, and the next download brings
# every event of the receiver's log exactly once.
# Usage: kill-read.sh BIN_DIR [KILLS]
bin=$1
kills=${2:-30}
source "$(dirname "$0")/common.sh"

events=6000
make_log "$work/receiver.log" $events
start_sim sim --log "$work/receiver.log" --pace 0
"$bin/zqreader-cli" new "$work/empty.db" >/dev/null || exit 1

# One whole download, timed, with the moments the write transaction's journal
# exists: the commit lies within them.
cp "$work/empty.db" "$work/timed.db"
start=$(now_ms)
"$bin/zqreader-cli" read "$work/timed.db" --port "$sim_port" >"$work/timed.out" 2>&1 &
reader=$!
journal_from=
journal_to=
while kill -0 $reader 2>/dev/null; do
    if [ -e "$work/timed.db-journal" ]; then
        [ -n "$journal_from" ] || journal_from=$(($(now_ms) - start))
        journal_to=$(($(now_ms) - start))
    fi
done
wait $reader
duration=$(($(now_ms) - start))
if [ "$(cat "$work/timed.out")" != "Number of read events:  $events" ]; then
    echo "the timed download failed: $(cat "$work/timed.out")" >&2
    exit 1
fi
journal_from=${journal_from:-$((duration * 8 / 10))}
journal_to=${journal_to:-$journal_from}
echo "a download takes $duration ms; the journal was there from $journal_from to $journal_to ms"

# A third of the kills land within 60 ms of the write transaction, the rest
# spread evenly over the whole download.
near=$((kills / 3))
moments=()
for i in $(seq 0 $((kills - near - 1))); do
    moments+=($((duration * i / (kills - near))))
done
for i in $(seq 0 $((near - 1))); do
    moments+=($((journal_from - 60 + (journal_to - journal_from + 120) * i / (near > 1 ? near - 1 : 1))))
done

round=0
for ms in "${moments[@]}"; do
    round=$((round + 1))
    [ "$ms" -ge 0 ] || ms=0
    db=$work/kill$round.db
    cp "$work/empty.db" "$db"
    "$bin/zqreader-cli" read "$db" --port "$sim_port" >/dev/null 2>&1 &
    reader=$!
    sleep "$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))"
    kill -KILL $reader 2>/dev/null
    wait $reader 2>/dev/null

    check=$(sqlite3 "$db" "PRAGMA integrity_check" 2>&1)
    [ "$check" = "ok" ] || fail "kill at $ms ms: integrity_check says $check"
    stored=$(count "$db")
    case $stored in
    0) expected="Number of read events:  $events" ;;
    $events) expected="There are no more events to read" ;;
    *)
        fail "kill at $ms ms: $stored of $events events stored"
        continue
        ;;
    esac
    outcome=$("$bin/zqreader-cli" read "$db" --port "$sim_port" 2>&1)
    if [ "$outcome" != "$expected" ]; then
        fail "kill at $ms ms ($stored stored): the next download said: $outcome"
        echo "the simulator's last reports:" >&2
        tail -n 6 "$work/sim.err" >&2
    fi
    rows "$db" | cmp -s - "$work/receiver.log.expected" ||
        fail "kill at $ms ms ($stored stored): the events differ from the receiver's log"
    echo "kill at $ms ms: $stored stored, then complete"
done
finish
