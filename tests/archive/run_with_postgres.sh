#!/usr/bin/env bash
# Runs a command beside a PostgreSQL server of its own: initdb into a temporary folder (as
# the postgres user of the Debian package when run as root), the server listening only on
# a Unix socket in that folder, KIVSVC_TEST_PG naming its database. The server is stopped
# and the folder removed however the command ends.
set -euo pipefail
bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
if [[ -z $bindir || ! -x $bindir/initdb ]]; then
  echo "PostgreSQL server programs not found (package postgresql)" >&2
  exit 1
fi
tmp=$(mktemp -d /tmp/kivpgXXXXXX)
runas=()
if [[ $(id -u) -eq 0 ]]; then
  chown postgres "$tmp"
  runas=(runuser -u postgres --)
fi
cleanup() {
  "${runas[@]}" "$bindir/pg_ctl" -D "$tmp/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
"${runas[@]}" "$bindir/initdb" -D "$tmp/data" -A trust -U postgres --no-sync -E UTF8 \
  --locale=C.UTF-8 >"$tmp/initdb.log" 2>&1 || { cat "$tmp/initdb.log" >&2; exit 1; }
"${runas[@]}" "$bindir/pg_ctl" -D "$tmp/data" -l "$tmp/server.log" -w -t 60 \
  -o "-c listen_addresses='' -k $tmp -c fsync=off -c max_connections=40" start >/dev/null ||
  { cat "$tmp/server.log" >&2; exit 1; }
"${runas[@]}" "$bindir/createdb" -h "$tmp" -U postgres kivtest
export KIVSVC_TEST_PG="postgresql://postgres@/kivtest?host=$tmp"
"$@"
