# Shared by the kivtool test scripts: a scratch folder and small assertions.
set -u
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
  if [[ "$2" != "$3" ]]; then
    fail "$1"
    diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") >&2 || true
  fi
}

# expect_status WHAT EXPECTED_STATUS COMMAND...
expect_status() {
  local what=$1 want=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [[ $got == "$want" ]] || fail "$what: exit status $got, expected $want ($(cat "$work/err"))"
}

finish() {
  if ((failures > 0)); then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "all passed"
}

kt() { "$KIVTOOL" "$@" --defs "$KIVSVC_DEFS"; }
