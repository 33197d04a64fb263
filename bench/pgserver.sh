# Sourced by bench/run: a throwaway PostgreSQL server in a folder of the run
# (initdb, a free local port, stopped at the end), and the benchmark's SQLite
# databases copied into server databases with the same rows.

pg_bin=$(pg_config --bindir 2>/dev/null || true)
[ -x "$pg_bin/initdb" ] || pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
pg_dir= pg_port= pg_as=()

# The server's folder is a fresh temporary one: the server's own user must
# reach it.
pg_start() {
  pg_dir=$(mktemp -d)
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres "$pg_dir"
    pg_as=(runuser -u postgres --)
  fi
  "${pg_as[@]}" "$pg_bin/initdb" -D "$pg_dir/data" -U postgres -A trust -E UTF8 --no-locale >/dev/null
  pg_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  "${pg_as[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -l "$pg_dir/log" -w -s \
    -o "-p $pg_port -k $pg_dir -c listen_addresses=127.0.0.1 -c fsync=off" start
}

pg_stop() {
  [ -n "$pg_port" ] && "${pg_as[@]}" "$pg_bin/pg_ctl" -D "$pg_dir/data" -m fast -s stop || true
  [ -n "$pg_dir" ] && rm -rf "$pg_dir"
  pg_port= pg_dir=
}

pg_psql() { psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$pg_port" -U postgres "$@"; }
pg_uri() { echo "postgresql://postgres@127.0.0.1:$pg_port/$1"; }

# pg_load NAME SQLITE_DB: a server database NAME made by zqreader-cli new,
# holding the rows of the file.
pg_load() {
  local name=$1 db=$2
  pg_psql -d postgres -c "CREATE DATABASE $name"
  "$bin/zqreader-cli" new "$(pg_uri "$name")" >/dev/null
  sqlite3 -csv "$db" 'SELECT [INDEX], TIMER, DATE, USER_NO, BUTTON FROM EVENTS' |
    pg_psql -d "$name" -c '\copy "EVENTS" ("INDEX", "TIMER", "DATE", "USER_NO", "BUTTON") FROM STDIN CSV'
  sqlite3 -csv "$db" 'SELECT [INDEX], NAME, USER_NO, DATE_START, DATE_STOP FROM USERS' |
    pg_psql -d "$name" -c '\copy "USERS" ("INDEX", "NAME", "USER_NO", "DATE_START", "DATE_STOP") FROM STDIN CSV'
  pg_psql -d "$name" -c "SELECT setval(pg_get_serial_sequence('\"EVENTS\"', 'INDEX'), max(\"INDEX\")) FROM \"EVENTS\"" \
    -c "SELECT setval(pg_get_serial_sequence('\"USERS\"', 'INDEX'), max(\"INDEX\")) FROM \"USERS\"" >/dev/null
  pg_psql -d "$name" -c 'VACUUM ANALYZE'
}

# The list's join as psql prints it, the same text as zqreader-cli list.
pg_join='"EVENTS" LEFT OUTER JOIN "USERS" ON "EVENTS"."USER_NO" = "USERS"."USER_NO" AND "EVENTS"."DATE" > "USERS"."DATE_START" AND "EVENTS"."DATE" < "USERS"."DATE_STOP"'
pg_list_select="SELECT to_char(\"EVENTS\".\"DATE\", 'YYYY-MM-DD'), to_char(\"EVENTS\".\"DATE\", 'HH24:MI:SS'), format('%6s', \"EVENTS\".\"USER_NO\"), \"USERS\".\"NAME\", format('%6s', \"EVENTS\".\"TIMER\") FROM $pg_join ORDER BY \"EVENTS\".\"INDEX\", \"USERS\".\"INDEX\""

# The report of a year (as bench/run's report rows): the bare GROUP BY of the
# list's join over 2019.
pg_report_select="SELECT \"EVENTS\".\"DATE\"::date, \"EVENTS\".\"USER_NO\", \"USERS\".\"NAME\", count(*), count(CASE WHEN \"EVENTS\".\"BUTTON\" = '1' THEN 1 END), min(\"EVENTS\".\"DATE\"), max(\"EVENTS\".\"DATE\") FROM $pg_join WHERE \"EVENTS\".\"DATE\" >= '2019-01-01 00:00:00' AND \"EVENTS\".\"DATE\" < '2020-01-01 00:00:00' GROUP BY 1, 2, 3"
