#!/usr/bin/env bash
# Starts kivsvc with a demonstration device: kivsim serves a simulated KIVS-2 on
# 127.0.0.1, and the program gets its own configuration (KIVSVC_CONFIG) whose TCP path
# points there. It opens on the Write/Read page: press "Reading". Closing the program stops the
# simulator. The user's own kiv.ini is not touched.
# Usage: scripts/demo.sh [BUILD_DIR] [kivsvc arguments...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${KIVSVC_BUILD_DIR:-$root/build}
if [[ $# -gt 0 && -d $1 ]]; then
  build=$1
  shift
fi
demo=$(mktemp -d)
sim_pid=
cleanup() {
  if [[ -n $sim_pid ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$demo"
}
trap cleanup EXIT INT TERM

"$build/bin/kivsim" --tcp 127.0.0.1:0 --type kivs2 --defs "$build/share/kivsvc" \
  >"$demo/kivsim.log" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 100); do
  port=$(sed -n 's/.*listening on tcp [^:]*:\([0-9]*\).*/\1/p' "$demo/kivsim.log")
  [[ -n $port ]] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if [[ -z $port ]]; then
  echo "kivsim did not start:" >&2
  cat "$demo/kivsim.log" >&2
  exit 1
fi
echo "Demonstration device: $(head -n 1 "$demo/kivsim.log" | sed 's/^kivsim: //'), on 127.0.0.1:$port"

cat >"$demo/kiv.ini" <<INI
[kivsvc]
MBTCPComm=1
MBTCPIP=127.0.0.1
MBTCPPort=$port
Port=
Speed=6
Time_Out=500
TimeSilence=20
INI
# KIVSVC_DEMO: with nothing named on the command line the program opens a registration
# window on its Write/Read page, connected to the simulator: the first click is Reading.
KIVSVC_DEMO=1 KIVSVC_CONFIG="$demo/kiv.ini" KIVSVC_INSTALLDIR="$build/share/kivsvc" \
  "$build/bin/kivsvc" "$@"
