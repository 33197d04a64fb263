#!/usr/bin/env bash
# Sets up, builds and runs the main job on the embedded default: the simulated
# receiver on a pseudo-terminal, a new SQLite database with a few users, a
# complete download into it, then the list.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
bin=${ZQ_BUILD_DIR:-build}/bin
work=$(mktemp -d)
db="$work/demo.db"

"$bin/zqreader-sim" --log sim/sample.log --link "$work/receiver" >/dev/null 2>"$work/sim.log" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -e "$work/receiver" ] && break; sleep 0.05; done

"$bin/zqreader-cli" new "$db"
# The users who held the receiver's user numbers, and when.
sqlite3 "$db" <<'SQL'
INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES
  ('Anna Kowal',   0, datetime('now', '-30 days', 'localtime'), datetime('now', '+1 year', 'localtime')),
  ('Jan Wrona',    2, datetime('now', '-30 days', 'localtime'), datetime('now', '+1 year', 'localtime')),
  ('Piotr Lis',    6, datetime('now', '-30 days', 'localtime'), datetime('now', '-12 hours', 'localtime')),
  ('Ewa Nowak',    6, datetime('now', '-12 hours', 'localtime'), datetime('now', '+1 year', 'localtime')),
  ('Olga Sowa',   11, datetime('now', '-30 days', 'localtime'), datetime('now', '+1 year', 'localtime')),
  ('Marek Zając', 14, datetime('now', '-30 days', 'localtime'), datetime('now', '+1 year', 'localtime'));
SQL
"$bin/zqreader-cli" read "$db" --port "$work/receiver"
echo "Events in $db (date, time, user number, name, timer):"
"$bin/zqreader-cli" list "$db"
