#!/usr/bin/env bash
# A private PostgreSQL server for the production database tests.
#
#   scripts/test-db-server.sh start DIR   start it and write DIR/odbc.ini
#   scripts/test-db-server.sh stop DIR    stop it and delete its data
#   scripts/test-db-server.sh restart DIR restart it (fast: open sessions are
#                                         cut off), same port, data kept
#
# The server listens on 127.0.0.1 only, on a free port, with its data in a
# fresh folder under /tmp. PostgreSQL refuses to run as root, so a root caller
# runs it as the user "postgres" (created by the Debian package; created here
# when missing). The database holds the production schema (scripts/test-db-
# schema.sql), getdate() and seed rows for this computer and the current user.
#
# DIR receives odbc.ini (the data source "electrometer") and odbcinst.ini
# (the PostgreSQL ODBC driver). Programs reach them through
#   ODBCSYSINI=DIR ODBCINI=DIR/odbc.ini
# so the machine's own ODBC configuration is never read or touched.
# CTest runs "start" before and "stop" after the database tests.
set -euo pipefail

action="${1:-}"
dir="${2:-}"
if [ -z "$action" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop|restart DIR" >&2
  exit 2
fi
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$dir"
dir="$(cd "$dir" && pwd)"
state="$dir/server.env"

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u "$owner" -- "$@"; else "$@"; fi
}

stop_server() {
  [ -f "$state" ] || return 0
  # shellcheck disable=SC1090
  . "$state"
  if [ -n "${data:-}" ] && [ -f "$data/PG_VERSION" ]; then
    as_owner "$bin/pg_ctl" -D "$data" -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$data"
  fi
  # The cluster lives in a folder of its own under /tmp.
  case "${data:-}" in /tmp/kelvar-testdb.*/cluster) rm -rf "$(dirname "$data")" ;; esac
  rm -f "$state"
}

find_bin() {
  ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1
}
find_driver() {
  find /usr/lib /usr/local/lib -name psqlodbcw.so 2>/dev/null | head -n 1
}

case "$action" in
stop)
  stop_server
  echo "test database stopped"
  exit 0
  ;;
restart)
  # shellcheck disable=SC1090
  . "$state"
  as_owner "$bin/pg_ctl" -D "$data" -l "$data/server.log" -m fast -w -t 60 restart >/dev/null
  echo "test database restarted"
  exit 0
  ;;
start) ;;
*)
  echo "unknown action: $action" >&2
  exit 2
  ;;
esac

# A server left behind by an interrupted run goes first.
stop_server

bin="$(find_bin)"
driver="$(find_driver)"
if [ -z "$bin" ] || [ -z "$driver" ] || ! command -v psql >/dev/null; then
  bash "$here/install-deps.sh"
  bin="$(find_bin)"
  driver="$(find_driver)"
fi
if [ -z "$bin" ] || [ -z "$driver" ]; then
  echo "PostgreSQL or its ODBC driver is missing (see scripts/install-deps.sh)" >&2
  exit 1
fi

owner="$(id -un)"
if [ "$(id -u)" -eq 0 ]; then
  owner=postgres
  if ! id "$owner" >/dev/null 2>&1; then
    useradd --system --home-dir /var/lib/postgresql --shell /usr/sbin/nologin "$owner"
  fi
fi

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
data="$(mktemp -d /tmp/kelvar-testdb.XXXXXX)"
chmod 700 "$data"
[ "$(id -u)" -eq 0 ] && chown "$owner" "$data"
password="kelvar-$RANDOM$RANDOM"
user=kelvar
cat >"$state" <<EOF
bin='$bin'
data='$data'
owner='$owner'
port='$port'
EOF

pwfile="$data/.pw"
as_owner sh -c "umask 077; printf '%s\n' '$password' > '$pwfile'"
as_owner "$bin/initdb" -D "$data/cluster" -U "$user" --pwfile="$pwfile" --auth=scram-sha-256 \
  -E UTF8 --locale=C >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
rm -f "$pwfile"
# From here on the cluster folder is the data folder.
data="$data/cluster"
sed -i "s|^data=.*|data='$data'|" "$state"
as_owner "$bin/pg_ctl" -D "$data" -l "$data/server.log" -w -t 60 \
  -o "-c listen_addresses=127.0.0.1 -p $port -c unix_socket_directories='$data' -c fsync=off" start >/dev/null \
  || { cat "$data/server.log" >&2; exit 1; }

export PGPASSWORD="$password"
psql_db() {
  psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U "$user" "$@"
}
psql_db -d postgres -c "CREATE DATABASE production"
# The identities the program looks up: this computer's network name and the
# logged-on user (the program reads them the same way).
psql_db -d production -v computer="$(hostname)" -v login="$(id -un)" -f "$here/test-db-schema.sql"

cat >"$dir/odbcinst.ini" <<EOF
[KelvarPostgreSQL]
Description=PostgreSQL ODBC driver (Unicode) for the tests
Driver=$driver
EOF
cat >"$dir/odbc.ini" <<EOF
[electrometer]
Description=Production database of the tests (private PostgreSQL on loopback)
Driver=KelvarPostgreSQL
Servername=127.0.0.1
Port=$port
Database=production
Username=$user
Password=$password
EOF
chmod 600 "$dir/odbc.ini"
echo "test database on 127.0.0.1:$port; ODBCSYSINI=$dir ODBCINI=$dir/odbc.ini"
