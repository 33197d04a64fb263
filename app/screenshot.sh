#!/bin/sh
# Takes a screenshot of the main window with a list of events, under a
# virtual X server, for a look at the rendering.
#
#   app/screenshot.sh BUILD_DIR [OUTPUT.png]
#
# Needs xvfb (xvfb-run), xauth, imagemagick (import) and sqlite3. BUILD_DIR is
# the CMake build folder in which zqreader and template.db have been built.
# The settings of the run go to a temporary folder, never to the user's own.
set -eu

build=${1:?usage: $0 BUILD_DIR [OUTPUT.png]}
out=${2:-zqreader-screenshot.png}
bin=$(cd "$build/bin" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$bin/template.db" "$work/demo.db"
chmod u+w "$work/demo.db"
sqlite3 "$work/demo.db" <<'SQL'
INSERT INTO USERS (NAME, USER_NO, DATE_START, DATE_STOP) VALUES
  ('Anna Kowalczyk', 1, '2000-01-01 00:00:00', '2100-01-01 00:00:00'),
  ('Bruno Lindqvist', 2, '2000-01-01 00:00:00', '2100-01-01 00:00:00'),
  ('Carla Mendes', 7, '2000-01-01 00:00:00', '2100-01-01 00:00:00'),
  ('Dmitri Volkov', 12, '2000-01-01 00:00:00', '2100-01-01 00:00:00'),
  ('Emily Hargreaves-Fitzwilliam of the long name', 255, '2000-01-01 00:00:00', '2100-01-01 00:00:00');
WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 299)
INSERT INTO EVENTS (TIMER, DATE, USER_NO, BUTTON)
SELECT 1000 + i * 37,
       datetime('2009-10-21 09:05:03', '+' || (i * 97) || ' seconds'),
       CASE i % 7 WHEN 0 THEN 1 WHEN 1 THEN 2 WHEN 2 THEN 7 WHEN 3 THEN 12
                  WHEN 4 THEN 255 WHEN 5 THEN 40 ELSE -1 END,
       CASE i % 2 WHEN 0 THEN '0' ELSE '1' END
FROM n;
SQL

export XDG_CONFIG_HOME="$work/config"
export WORK="$work" BIN="$bin" OUT="$out"
xvfb-run -a -s "-screen 0 1024x700x24 -nolisten tcp" sh -c '
  "$BIN/zqreader" --port COM1 "$WORK/demo.db" &
  pid=$!
  sleep 3
  import -window root "$OUT"
  kill $pid
  wait $pid 2>/dev/null || true
'
echo "$out"
