#!/usr/bin/env bash
# kivtool read's TCP address forms: HOST[:PORT] and an IPv6 address in brackets. Only
# closed loopback ports are tried, so nothing is read; the refusal names where it went.
source "$(dirname "$0")/lib.sh"

expect_status "IPv6 without brackets" 2 kt read --tcp ::1:1502 -o "$work/x.kiv"
grep -q "Invalid TCP address: ::1:1502" "$work/err" || fail "no address error: $(cat "$work/err")"
expect_status "port 0" 2 kt read --tcp 127.0.0.1:0 -o "$work/x.kiv"
expect_status "unclosed bracket" 2 kt read --tcp '[::1:1502' -o "$work/x.kiv"
expect_status "no host" 2 kt read --tcp :1502 -o "$work/x.kiv"

expect_status "closed IPv4 port" 1 kt read --tcp 127.0.0.1:1 --time-out 3000 -o "$work/x.kiv"
grep -qx "Connection refused: 127.0.0.1:1" "$work/out" || fail "IPv4 refusal: $(cat "$work/out")"

# The IPv6 loopback exists only where the machine has it.
if grep -qs '^00000000000000000000000000000001 ' /proc/net/if_inet6; then
  expect_status "closed IPv6 port" 1 kt read --tcp '[::1]:1' --time-out 3000 -o "$work/x.kiv"
  grep -qx "Connection refused: \[::1\]:1" "$work/out" || fail "IPv6 refusal: $(cat "$work/out")"
else
  echo "no IPv6 loopback: the connection over ::1 is not tried"
fi
[[ -e $work/x.kiv ]] && fail "a failed reading saved a file"

finish
