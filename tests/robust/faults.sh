#!/usr/bin/env bash
# Faults of the device and of the machine around zqreader-cli: the receiver
# unplugged mid-download, a full disk during new and read, a damaged file, and
# a database locked by another program for less and for more than the busy
# wait.
# Usage: faults.sh BIN_DIR
bin=$1
source "$(dirname "$0")/common.sh"

events=600
make_log "$work/receiver.log" $events
expected=$work/receiver.log.expected
"$bin/zqreader-cli" new "$work/empty.db" >/dev/null || exit 1

# read DB PORT: runs a download; sets out, err and code.
read_into() {
    "$bin/zqreader-cli" read "$1" --port "$2" >"$work/out" 2>"$work/err"
    code=$?
    out=$(cat "$work/out")
    err=$(cat "$work/err")
}

# expect_complete WHAT DB PORT: a download brings every event, once.
expect_complete() {
    read_into "$2" "$3"
    [ "$code" -eq 0 ] && [ "$out" = "Number of read events:  $events" ] ||
        fail "$1: the next download said: $out $err"
    rows "$2" | cmp -s - "$expected" || fail "$1: the events differ from the receiver's log"
}

# expect_store_failed WHAT DB REASON: the message of a download whose events
# the database could not take: what failed, the file and why, nothing stored.
expect_store_failed() {
    [ "$(echo "$err" | head -n 1)" = "Can't add events to the database" ] &&
        echo "$err" | grep -qF "stored in \"$2\": $3" &&
        echo "$err" | grep -qF "Nothing of this download was stored" ||
        fail "$1: said $err"
}

# expect_refused WHAT DB SUM [CODE]: a failure with a message (exit code 1, or
# CODE: 75 says a later try may succeed), and the file as before.
expect_refused() {
    [ "$code" -eq "${4:-1}" ] || fail "$1: exit code $code"
    [ -z "$out" ] || fail "$1: printed an outcome: $out"
    [ -n "$err" ] || fail "$1: no message"
    [ "$(sha256sum <"$2")" = "$3" ] || fail "$1: the file changed"
    echo "$1: $(echo "$err" | tr '\n' ' ')"
}

# --- The receiver unplugged: its simulator killed in the middle of a paced
# download.
start_sim unplug --log "$work/receiver.log"
cp "$work/empty.db" "$work/unplug.db"
sum=$(sha256sum <"$work/unplug.db")
"$bin/zqreader-cli" read "$work/unplug.db" --port "$sim_port" >"$work/out" 2>"$work/err" &
reader=$!
sleep 1
kill -KILL "$sim_pid"
wait "$reader"
code=$?
out=$(cat "$work/out")
err=$(cat "$work/err")
expect_refused "receiver unplugged" "$work/unplug.db" "$sum" 75
case $err in
"Can't read from the serial port"* | "Out of time"*) ;;
*) fail "receiver unplugged: not a failure of the port: $err" ;;
esac
start_sim replugged --log "$work/receiver.log" --pace 0
port=$sim_port
expect_complete "after the unplugged receiver" "$work/unplug.db" "$port"

# --- A full disk, as a file size limit (the programs ignore SIGXFSZ, so
# writes fail with EFBIG) and, where this user may mount one, as a small full
# tmpfs (ENOSPC).
with_size_limit() {
    (
        ulimit -f "$1"
        shift
        "$@"
    )
}

"$bin/zqreader-cli" read "$work/empty.db" --port "$port" >/dev/null 2>&1 # a file with events
cp "$work/empty.db" "$work/full.db"
sum=$(sha256sum <"$work/full.db")
with_size_limit 8 "$bin/zqreader-cli" new "$work/full.db" >"$work/out" 2>"$work/err"
code=$? out=$(cat "$work/out") err=$(cat "$work/err")
expect_refused "new, file size limit" "$work/full.db" "$sum"

"$bin/zqreader-cli" new "$work/grow.db" >/dev/null
sum=$(sha256sum <"$work/grow.db")
limit=$(($(stat -c %s "$work/grow.db") / 1024 + 4))
with_size_limit $limit "$bin/zqreader-cli" read "$work/grow.db" --port "$port" \
    >"$work/out" 2>"$work/err"
code=$? out=$(cat "$work/out") err=$(cat "$work/err")
expect_refused "read, file size limit" "$work/grow.db" "$sum"
expect_store_failed "read, file size limit" "$work/grow.db" "File too large"
expect_complete "after the file size limit" "$work/grow.db" "$port"

mnt=$work/small
mkdir "$mnt"
fill() { # leaves about $1 KiB free on the tmpfs
    local free
    free=$(df --output=avail -B1024 "$mnt" | tail -n 1)
    [ "$free" -le "$1" ] || head -c $(((free - $1) * 1024)) /dev/zero >>"$mnt/filler" 2>/dev/null
}
if mount -t tmpfs -o size=4m zqtest "$mnt" 2>/dev/null; then
    cp "$work/empty.db" "$mnt/full.db"
    fill 0
    sum=$(sha256sum <"$mnt/full.db")
    "$bin/zqreader-cli" new "$mnt/full.db" >"$work/out" 2>"$work/err"
    code=$? out=$(cat "$work/out") err=$(cat "$work/err")
    expect_refused "new, full tmpfs" "$mnt/full.db" "$sum"
    rm -f "$mnt/full.db" "$mnt/filler"

    "$bin/zqreader-cli" new "$mnt/grow.db" >/dev/null
    fill 8
    sum=$(sha256sum <"$mnt/grow.db")
    read_into "$mnt/grow.db" "$port"
    expect_refused "read, full tmpfs" "$mnt/grow.db" "$sum"
    expect_store_failed "read, full tmpfs" "$mnt/grow.db" "database or disk is full"
    rm -f "$mnt/filler"
    expect_complete "after the full tmpfs" "$mnt/grow.db" "$port"
    umount "$mnt"
else
    echo "no tmpfs could be mounted: the full disk was tried with the file size limit only"
fi

# --- A damaged file: the first or the last leaf of EVENTS overwritten with
# garbage, met when the file is opened or while the rows are printed. list
# stops and names the file as damaged.
cp "$work/grow.db" "$work/damaged.db"
sqlite3 "$work/damaged.db" "INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON)
                            SELECT TIMER, DATE, USER_NO, BUTTON FROM EVENTS"
size=$(sqlite3 "$work/damaged.db" "PRAGMA page_size")
for leaf in first last; do
    cp "$work/damaged.db" "$work/$leaf.db"
    page=$(sqlite3 "$work/$leaf.db" "SELECT pageno FROM dbstat WHERE name = 'EVENTS' AND
        pagetype = 'leaf' ORDER BY path $([ $leaf = first ] && echo ASC || echo DESC) LIMIT 1")
    head -c "$size" /dev/zero | tr '\0' '\377' |
        dd of="$work/$leaf.db" bs="$size" seek=$((page - 1)) conv=notrunc 2>/dev/null
    "$bin/zqreader-cli" list "$work/$leaf.db" >/dev/null 2>"$work/err"
    code=$? err=$(cat "$work/err")
    [ "$code" -eq 1 ] &&
        [[ $err == "The database \"$work/$leaf.db\" looks damaged: "*"\"PRAGMA integrity_check\"" ]] ||
        fail "list of a file damaged in its $leaf leaf: exit code $code, said $err"
    echo "list of a file damaged in its $leaf leaf: $err"
done

# --- A database locked by another program (a transaction holding
# BEGIN EXCLUSIVE) for less and for more than the busy wait of 5 s.
hold_lock() { # DB SECONDS [WAIT_MS]: waits that long for the lock, then holds it
    rm -f "$work/locked"
    {
        echo ".timeout ${3:-60000}"
        echo "BEGIN EXCLUSIVE;"
        echo ".output $work/locked"
        echo "SELECT 'locked';"
        echo ".output stdout"
        sleep "$2"
        echo "COMMIT;"
    } | sqlite3 "$1" &
    locker=$!
    sleep 0.3
}
lock_was_held() { [ -s "$work/locked" ] || fail "$1: the other program never got its lock"; }

cp "$work/empty.db" "$work/short.db"
sqlite3 "$work/short.db" "DELETE FROM EVENTS"
hold_lock "$work/short.db" 2
expect_complete "locked for 2 s" "$work/short.db" "$port"
wait $locker
lock_was_held "locked for 2 s"

cp "$work/short.db" "$work/long.db"
sqlite3 "$work/long.db" "DELETE FROM EVENTS"
sum=$(sha256sum <"$work/long.db")
hold_lock "$work/long.db" 8
read_into "$work/long.db" "$port"
wait $locker
lock_was_held "locked for 8 s"
expect_refused "locked for 8 s" "$work/long.db" "$sum" 75
[ "$(echo "$err" | grep -c -i locked)" -eq 1 ] || fail "locked for 8 s: said $err"
expect_complete "after the lock of 8 s" "$work/long.db" "$port"

# The lock taken while a paced download is under way, so the events have to
# wait for it.
start_sim paced --log "$work/receiver.log"
paced=$sim_port
cp "$work/long.db" "$work/timed.db"
sqlite3 "$work/timed.db" "DELETE FROM EVENTS"
cp "$work/timed.db" "$work/during.db"
start=$(now_ms)
read_into "$work/timed.db" "$paced"
seconds=$((($(now_ms) - start + 999) / 1000))
[ "$code" -eq 0 ] || fail "a paced download said: $out $err"
for hold in short long; do
    cp "$work/during.db" "$work/$hold.db"
    sum=$(sha256sum <"$work/$hold.db")
    "$bin/zqreader-cli" read "$work/$hold.db" --port "$paced" >"$work/out" 2>"$work/err" &
    reader=$!
    sleep 0.5
    if [ $hold = short ]; then
        hold_lock "$work/$hold.db" $((seconds + 1)) 0
    else
        hold_lock "$work/$hold.db" $((seconds + 7)) 0
    fi
    wait $reader
    code=$?
    out=$(cat "$work/out") err=$(cat "$work/err")
    wait $locker
    if [ ! -s "$work/locked" ]; then
        # A download that keeps a read transaction open leaves no moment for it.
        echo "locked during the download ($hold): the other program could not take the lock" \
            "while the download ran; read said: $out $err"
        continue
    fi
    if [ $hold = short ]; then
        [ "$code" -eq 0 ] && [ "$out" = "Number of read events:  $events" ] ||
            fail "locked during the download for less than the wait: $out $err"
        rows "$work/$hold.db" | cmp -s - "$expected" || fail "locked briefly: wrong events"
    else
        expect_refused "locked during the download" "$work/$hold.db" "$sum" 75
        [ "$(echo "$err" | grep -c -i locked)" -eq 1 ] ||
            fail "locked during the download: said $err"
        expect_store_failed "locked during the download" "$work/$hold.db" "database is locked"
        expect_complete "after the lock during the download" "$work/$hold.db" "$port"
    fi
done
finish
