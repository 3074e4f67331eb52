#!/usr/bin/env bash
# Stops or starts the tests' PostgreSQL server that run_with_postgres.sh set up
# (KIVSVC_TEST_PG_DIR, KIVSVC_TEST_PG_BIN): server_ctl.sh stop|start.
set -euo pipefail
tmp=$KIVSVC_TEST_PG_DIR
bindir=$KIVSVC_TEST_PG_BIN
runas=()
if [[ $(id -u) -eq 0 ]]; then runas=(runuser -u postgres --); fi
case ${1:-} in
  stop) "${runas[@]}" "$bindir/pg_ctl" -D "$tmp/data" -m fast -w stop >/dev/null ;;
  start)
    "${runas[@]}" "$bindir/pg_ctl" -D "$tmp/data" -l "$tmp/server.log" -w -t 60 \
      -o "-c listen_addresses='' -k $tmp -c fsync=off -c max_connections=40" start >/dev/null
    ;;
  *) echo "usage: server_ctl.sh stop|start" >&2; exit 2 ;;
esac
