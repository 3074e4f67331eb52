#!/usr/bin/env bash
# Runs a command beside a PostgreSQL server of its own: initdb into a temporary folder (as
# the postgres user of the Debian package when run as root), the server listening only on
# a Unix socket in that folder, KIVSVC_TEST_PG naming its database, KIVSVC_TEST_PG_CTL the
# script that stops and starts it. The server is stopped and the folder removed however
# the command ends.
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
# server_ctl.sh stops and starts the server, here and in the tests of a server lost in
# the middle of an import.
export KIVSVC_TEST_PG_DIR=$tmp KIVSVC_TEST_PG_BIN=$bindir
export KIVSVC_TEST_PG_CTL="$(cd "$(dirname "$0")" && pwd)/server_ctl.sh"
bash "$KIVSVC_TEST_PG_CTL" start || { cat "$tmp/server.log" >&2; exit 1; }
"${runas[@]}" "$bindir/createdb" -h "$tmp" -U postgres kivtest
export KIVSVC_TEST_PG="postgresql://postgres@/kivtest?host=$tmp"
"$@"
