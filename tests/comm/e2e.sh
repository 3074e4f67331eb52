#!/usr/bin/env bash
# End-to-end checks of kivtool read/write against kivsim, over TCP on 127.0.0.1 and over
# Modbus RTU through a socat pseudo-terminal pair. Usage: e2e.sh BINDIR SCENARIO
# Every process started here is stopped by its id when the script ends.
set -u
BIN=$1
SCENARIO=$2
WORK=$(mktemp -d)
PIDS=()
FAILED=0
source "$(dirname "$0")/../tools/simproc.sh"

cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  FAILED=1
}

# start_sim NAME ARGS...: starts kivsim, waits for its listening line; sets SIM_PID and,
# for TCP, SIM_PORT.
start_sim() {
  local name=$1
  shift
  local started=0
  launch_kivsim "$BIN/kivsim" "$WORK/$name.log" --defs "$BIN" "$@" && started=1
  PIDS+=("$SIM_PID")
  ((started)) || { fail "kivsim did not start"; exit 1; }
}

stop_sim() {
  kill "$SIM_PID" 2>/dev/null
  wait "$SIM_PID" 2>/dev/null
}

# start_pty: a pseudo-terminal pair; DEV is the program's end, SIMDEV the simulator's.
start_pty() {
  DEV=$WORK/dev
  SIMDEV=$WORK/simdev
  socat pty,raw,echo=0,link="$DEV" pty,raw,echo=0,link="$SIMDEV" 2>"$WORK/socat.log" &
  PIDS+=($!)
  for _ in $(seq 100); do
    [[ -e $DEV && -e $SIMDEV ]] && return
    sleep 0.05
  done
  fail "socat gave no pseudo-terminals"
  exit 1
}

# run NAME ARGS...: kivtool with its output in $WORK/NAME.out; sets RC.
run() {
  local name=$1
  shift
  "$BIN/kivtool" "$@" --defs "$BIN" >"$WORK/$name.out" 2>&1
  RC=$?
}

expect_rc() {
  [[ $RC -eq $1 ]] || { cat "$WORK/$2.out"; fail "$2: exit status $RC, expected $1"; }
}

expect_line() {
  grep -qxF -- "$2" "$WORK/$1.out" || { cat "$WORK/$1.out"; fail "$1: no line '$2'"; }
}

# same_bytes A B OFFSET COUNT
same_bytes() {
  cmp -s -i "$3:$3" -n "$4" "$1" "$2" || fail "bytes $3..+$4 differ between $1 and $2"
}

# The reading holds exactly the device's identification, parsets and events buffer.
same_registration() {
  [[ -f $2 ]] || { fail "no registration saved"; return; }
  same_bytes "$1" "$2" 140 100
  same_bytes "$1" "$2" 19458 1028
  local len
  len=$(od -An -tu2 -j4096 -N2 "$1" | tr -d ' ')
  [[ $len -gt 0 ]] || fail "the simulator serves an empty events buffer"
  same_bytes "$1" "$2" 4096 $((len + 2))
}

# kept_saved FILE N: the registration saved after a broken reading holds the N bytes kept.
kept_saved() {
  if [[ ! -e $1 ]]; then
    fail "the kept events were not saved"
    return 1
  fi
  [[ $(od -An -tu2 -j4096 -N2 "$1" | tr -d ' ') -eq $2 ]] ||
    fail "the saved registration does not hold the $2 bytes kept"
}

# The serial path reads once the silence has passed: it must cover the simulator's answer
# even on a loaded machine. Over TCP the silence is only a pause.
silence() {  # tcp|serial
  if [[ $1 == tcp ]]; then echo 20; else echo 60; fi
}

link_args() {  # tcp|serial
  if [[ $1 == tcp ]]; then echo "--tcp 127.0.0.1:$SIM_PORT"; else echo "--serial $DEV --baud 115200"; fi
}

sim_link() {  # tcp|serial
  if [[ $1 == tcp ]]; then echo "--tcp 127.0.0.1:0"; else echo "--serial $SIMDEV --baud 115200"; fi
}

read_both_types() {
  local link=$1
  for type in kivs2 kivs3; do
    [[ $link == serial ]] && start_pty
    start_sim "$type" $(sim_link "$link") --type "$type" --seed 5 --save "$WORK/served-$type.kiv"
    run "read-$type" read $(link_args "$link") --silence "$(silence "$link")" -o "$WORK/read-$type.kiv"
    expect_rc 0 "read-$type"
    expect_line "read-$type" "Identification of device:KIVS-${type#kivs}"
    expect_line "read-$type" "Read parset 1 :OK"
    expect_line "read-$type" "Read parset 2 :OK"
    grep -q "^Event register reading: [0-9]* bajtów$" "$WORK/read-$type.out" || fail "no progress line"
    same_registration "$WORK/served-$type.kiv" "$WORK/read-$type.kiv"
    stop_sim
  done
}

write_read_back() {
  local link=$1
  [[ $link == serial ]] && start_pty
  "$BIN/kivtool" generate --type kivs2 --seed 99 --defs "$BIN" -o "$WORK/source.kiv" >/dev/null
  start_sim dev $(sim_link "$link") --type kivs2 --seed 5
  run write write "$WORK/source.kiv" --from 1 --to 2 $(link_args "$link") --silence "$(silence "$link")"
  expect_rc 0 write
  expect_line write "Save of parset1 do 2: OK"
  run back read $(link_args "$link") --silence "$(silence "$link")" --no-events -o "$WORK/back.kiv"
  expect_rc 0 back
  # Parset 2 of the device is now parset 1 of the file (lengths equal: same definitions).
  cmp -s -i 19458:19972 -n 514 "$WORK/source.kiv" "$WORK/back.kiv" ||
    fail "parset 2 read back differs from what was written"
  stop_sim
}

# A write reaches the device it names and no other: two simulators on two ports, one at
# slave 5 and one at slave 31 (the registration's own number).
write_slaves() {
  "$BIN/kivtool" generate --type kivs2 --seed 99 --defs "$BIN" -o "$WORK/source.kiv" >/dev/null
  start_sim five --tcp 127.0.0.1:0 --type kivs2 --seed 5 --slave 5 --save "$WORK/five.kiv"
  local five=$SIM_PORT
  start_sim thirtyone --tcp 127.0.0.1:0 --type kivs2 --seed 5 --save "$WORK/thirtyone.kiv"
  local thirtyone=$SIM_PORT
  cmp -s -i 19460:19974 -n 512 "$WORK/source.kiv" "$WORK/five.kiv" &&
    fail "the device already holds what is written: the test would prove nothing"
  # Slave 5 named at the port of slave 31: nobody answers there, nothing is written.
  run wrong write "$WORK/source.kiv" --from 1 --to 2 --tcp "127.0.0.1:$thirtyone" --slave 5 \
    --silence 20 --time-out 200
  expect_rc 1 wrong
  expect_line wrong "Save of parset1 do 2: Device not identified - nothing written"
  run right write "$WORK/source.kiv" --from 1 --to 2 --tcp "127.0.0.1:$five" --slave 5 --silence 20
  expect_rc 0 right
  expect_line right "Verified"
  run back5 read --tcp "127.0.0.1:$five" --slave 5 --silence 20 --no-events -o "$WORK/back5.kiv"
  expect_rc 0 back5
  cmp -s -i 19458:19972 -n 514 "$WORK/source.kiv" "$WORK/back5.kiv" ||
    fail "slave 5 does not hold what was written to it"
  run back31 read --tcp "127.0.0.1:$thirtyone" --silence 20 --no-events -o "$WORK/back31.kiv"
  expect_rc 0 back31
  same_bytes "$WORK/thirtyone.kiv" "$WORK/back31.kiv" 19458 1028
  # No single device has address 0 (every one) or one above 247: refused before sending.
  for n in 0 248 999; do
    run "slave$n" write "$WORK/source.kiv" --from 1 --to 2 --tcp "127.0.0.1:$five" --slave "$n"
    expect_rc 2 "slave$n"
    expect_line "slave$n" "Invalid value of --slave: $n"
    run "read$n" read --tcp "127.0.0.1:$five" --slave "$n" -o "$WORK/never.kiv"
    expect_rc 2 "read$n"
  done
  [[ -e $WORK/never.kiv ]] && fail "a reading with a refused slave number was saved"
  run back5again read --tcp "127.0.0.1:$five" --slave 5 --silence 20 --no-events \
    -o "$WORK/back5again.kiv"
  same_bytes "$WORK/back5.kiv" "$WORK/back5again.kiv" 19458 1028
}

# A parset of a KIVS-2 registration never goes into a KIVS-3: nothing is sent after the
# identification, and the device's parsets read back as they were.
write_other_type() {
  local link=$1
  [[ $link == serial ]] && start_pty
  "$BIN/kivtool" generate --type kivs2 --seed 99 --defs "$BIN" -o "$WORK/source.kiv" >/dev/null
  start_sim k3 $(sim_link "$link") --type kivs3 --seed 5 --save "$WORK/k3.kiv"
  for verify in "" --no-verify; do
    run other write "$WORK/source.kiv" --from 1 --to 2 $(link_args "$link") \
      --silence "$(silence "$link")" $verify
    expect_rc 1 other
    expect_line other \
      "The device at slave 31 is a KIVS-3; this registration is for a KIVS-2: nothing written"
    grep -q "Verified\|: OK" "$WORK/other.out" && fail "a refused write reported success"
  done
  run back read $(link_args "$link") --silence "$(silence "$link")" --no-events -o "$WORK/back.kiv"
  expect_rc 0 back
  same_bytes "$WORK/k3.kiv" "$WORK/back.kiv" 19458 1028
  stop_sim
}

# An events block shorter than asked with more data after it (the device's seventh block
# of 250 bytes holds 10): the reading breaks off, keeping the six blocks before it and the
# short block's own bytes, and exits 1.
short_block() {
  local link=$1
  [[ $link == serial ]] && start_pty
  start_sim short $(sim_link "$link") --type kivs2 --seed 5 --fault data-bytes=10@10 \
    --save "$WORK/served.kiv"
  run short read $(link_args "$link") --silence "$(silence "$link")" -o "$WORK/short.kiv"
  expect_rc 1 short
  expect_line short "Event register reading: Incomplete answer - cancel reading"
  expect_line short "Events buffer incomplete: 1510 bytes kept"
  kept_saved "$WORK/short.kiv" 1510 && same_bytes "$WORK/served.kiv" "$WORK/short.kiv" 4098 1510
  stop_sim
}

# failure LINK NAME "SIM SWITCHES" "KIVTOOL OPTIONS" EXPECTED-RC EXPECTED-LINE
failure() {
  local link=$1 name=$2 switches=$3 options=$4 rc=$5 line=$6
  [[ $link == serial ]] && start_pty
  start_sim "$name" $(sim_link "$link") --type kivs2 $switches
  run "$name" read $(link_args "$link") $options -o "$WORK/$name.kiv"
  expect_rc "$rc" "$name"
  expect_line "$name" "$line"
  if [[ $rc -ne 0 && -e $WORK/$name.kiv ]]; then fail "$name: a failed reading was saved"; fi
  kill -0 "$SIM_PID" 2>/dev/null || fail "$name: the simulator died"
  stop_sim
}

case $SCENARIO in
  tcp-read) read_both_types tcp ;;
  rtu-read) read_both_types serial ;;
  tcp-write) write_read_back tcp ;;
  rtu-write) write_read_back serial ;;
  write-target-tcp)
    write_slaves
    write_other_type tcp
    ;;
  write-target-rtu) write_other_type serial ;;
  short-block-tcp) short_block tcp ;;
  short-block-rtu) short_block serial ;;
  failures-tcp)
    failure tcp noreply "--no-reply-to 3" "--silence 20 --time-out 200" 1 "TimeOut, cancel reading"
    failure tcp refused "--refuse-identification" "--silence 20" 1 "Command refused - cancel reading"
    failure tcp block1 "--exception-at-block 1" "--silence 20" 1 "Read parset 2 :OK"
    failure tcp block3 "--exception-at-block 3" "--silence 20" 0 "Event register reading: 500 bajtów"
    failure tcp late "--delay-ms 1000 --delay-at 2" "--silence 20 --time-out 300" 1 "TimeOut, cancel reading"
    # The same faults in the one --fault vocabulary the older switches are spellings of.
    failure tcp noreply-kind "--fault no-reply@3" "--silence 20 --time-out 200" 1 "TimeOut, cancel reading"
    failure tcp block3-kind "--fault exception-at-block=3" "--silence 20" 0 "Event register reading: 500 bajtów"
    failure tcp late-kind "--fault delay=1000@2" "--silence 20 --time-out 300" 1 "TimeOut, cancel reading"
    failure tcp otherslave "--slave 5" "--silence 20 --time-out 200" 1 "TimeOut, cancel reading"
    # Byte-level faults from the command line (the fault tests drive the rest).
    failure tcp cut "--fault cut=9@2" "--silence 20 --time-out 200" 1 "TimeOut, cancel reading"
    failure tcp reset "--fault reset=5@1" "--silence 20 --time-out 200" 1 "TimeOut, cancel reading"
    failure tcp exception "--fault exception=4@2" "--silence 20" 1 "Command refused - cancel reading"
    failure tcp function "--fault function=4@2" "--silence 20" 1 \
      "Answer with different function code, cancel reading"
    ;;
  failures-rtu)
    failure serial noreply "--no-reply-to 2" "--silence 60" 1 "TimeOut, cancel reading"
    failure serial crc "--wrong-crc-at 2" "--silence 60" 1 "CRC error, cancel reading"
    failure serial address "--other-address-at 3" "--silence 60" 1 \
      "Answer of different address device, cancel reading"
    failure serial crc-kind "--fault wrong-crc@2" "--silence 60" 1 "CRC error, cancel reading"
    failure serial address-kind "--fault other-address@3" "--silence 60" 1 \
      "Answer of different address device, cancel reading"
    failure serial refused "--refuse-identification" "--silence 60" 1 "Command refused - cancel reading"
    failure serial block3 "--exception-at-block 3" "--silence 60" 0 "Event register reading: 500 bajtów"
    failure serial late "--delay-ms 800 --delay-at 2" "--silence 60" 1 "TimeOut, cancel reading"
    # Junk before a frame is skipped: the reading succeeds.
    failure serial junk "--fault junk-before=3@2" "--silence 60" 0 "Read parset 1 :OK"
    failure serial bytecount "--fault byte-count=7@2" "--silence 60" 1 "Wrong byte count, cancel reading"
    failure serial nocode "--fault exception-nocode@2" "--silence 60 --time-out 300" 1 \
      "Reply too short, cancel reading"
    # A reply still arriving when the silence ends is read to its end...
    failure serial split "--split-pause-ms 200" "--silence 60 --time-out 800 --no-events" 0 "Read parset 2 :OK"
    # ...but not beyond Time_Out.
    failure serial split-late "--split-pause-ms 500" "--silence 60 --time-out 100" 1 "CRC error, cancel reading"
    ;;
  write-failure)
    "$BIN/kivtool" generate --type kivs2 --seed 3 --defs "$BIN" -o "$WORK/source.kiv" >/dev/null
    start_sim dev --tcp 127.0.0.1:0 --type kivs2 --no-reply-to 2
    run write write "$WORK/source.kiv" --from 1 --to 1 --tcp "127.0.0.1:$SIM_PORT" --silence 20 --time-out 200
    expect_rc 1 write
    expect_line write "TimeOut, cancel reading."
    expect_line write "Save of parset1: Settings rejected by device"
    grep -q ": OK" "$WORK/write.out" && fail "a failed write reported OK"
    stop_sim
    # A reading whose events buffer breaks off at the third block saves the two blocks it
    # kept (the newest events) and still exits 1.
    start_sim kept --tcp 127.0.0.1:0 --type kivs2 --fault silent@6
    run kept read --tcp "127.0.0.1:$SIM_PORT" --silence 20 --time-out 200 -o "$WORK/kept.kiv"
    expect_rc 1 kept
    expect_line kept "TimeOut, cancel reading"
    expect_line kept "Events buffer incomplete: 500 bytes kept"
    kept_saved "$WORK/kept.kiv" 500
    stop_sim
    ;;
  cancel)
    start_sim slow --tcp 127.0.0.1:0 --type kivs3 --delay-ms 100
    "$BIN/kivtool" read --tcp "127.0.0.1:$SIM_PORT" --silence 50 --defs "$BIN" -o "$WORK/c.kiv" >"$WORK/cancel.out" 2>&1 &
    TOOL=$!
    PIDS+=("$TOOL")
    sleep 1.2
    kill -INT "$TOOL"
    wait "$TOOL"
    RC=$?
    expect_rc 1 cancel
    expect_line cancel "Reading canceled"
    # Only the events read before the cancel are worth saving, and they are said to be kept.
    if grep -q "^Events buffer incomplete: [0-9]* bytes kept" "$WORK/cancel.out"; then
      [[ -e $WORK/c.kiv ]] || fail "the kept events were not saved"
    else
      [[ -e $WORK/c.kiv ]] && fail "a cancelled reading was saved"
    fi
    stop_sim
    ;;
  *)
    echo "unknown scenario $SCENARIO"
    exit 2
    ;;
esac
exit $FAILED
