# Sourced by the test scripts: kivsim as a background process, started one way everywhere.

# launch_kivsim KIVSIM LOG ARGS...: starts kivsim with its output in LOG and waits for its
# listening line; sets SIM_PID and, for TCP, SIM_PORT. Fails (the log on stdout) when it
# did not start; the caller still stops SIM_PID.
launch_kivsim() {
  local exe=$1 log=$2
  shift 2
  "$exe" "$@" >"$log" 2>&1 &
  SIM_PID=$!
  for _ in $(seq 100); do
    grep -q "listening on" "$log" 2>/dev/null && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.05
  done
  SIM_PORT=$(sed -n 's/.*listening on tcp [0-9.]*:\([0-9]*\).*/\1/p' "$log")
  grep -q "listening on" "$log" 2>/dev/null || {
    cat "$log"
    return 1
  }
}
