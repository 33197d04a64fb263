#!/usr/bin/env bash
# Sets up, builds and runs the main job on the embedded default: a new SQLite
# database, users and events, then the list.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
bin=${ZQ_BUILD_DIR:-build}/bin
work=$(mktemp -d)
db="$work/demo.db"

"$bin/zqreader-cli" new "$db"
sqlite3 "$db" <<'SQL'
INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES
  ('Anna Kowal', 3, datetime('now', '-30 days', 'localtime'), datetime('now', '+1 year', 'localtime')),
  ('Piotr Lis',  7, datetime('now', '-30 days', 'localtime'), datetime('now', '-2 days', 'localtime')),
  ('Ewa Nowak',  7, datetime('now', '-2 days', 'localtime'), datetime('now', '+1 year', 'localtime'));
INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON) VALUES
  (1000, datetime('now', '-3 days', 'localtime'), 7, '0'),
  (1500, datetime('now', '-3 days', '+500 seconds', 'localtime'), 3, '1'),
  (90000, datetime('now', '-1 day', 'localtime'), 7, '0'),
  (95000, datetime('now', '-1 day', '+5000 seconds', 'localtime'), 12, '0');
SQL
echo "Events in $db:"
"$bin/zqreader-cli" list "$db"
