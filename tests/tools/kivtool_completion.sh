#!/usr/bin/env bash
# The bash completion of kivtool: commands, options, fixed values, sequence numbers read
# from the registration on the line, and file names of the right kind.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../../tools/kivtool/kivtool.bash"
complete -p kivtool >/dev/null || fail "no completion registered for kivtool"

cp "$KIVSVC_EXAMPLES/demo-kivs2.kiv" "$work/a.kiv"
touch "$work/b.png" "$work/c.pdf" "$work/d.csv" "$work/e.txt"
mkdir "$work/sub"
cd "$work" || exit 1

# comp WORD... : what completing the last word offers, sorted, on one line.
comp() {
  COMP_WORDS=("$KIVTOOL" "$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _kivtool 2>/dev/null
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ *$//'
}

expect_eq "commands" "listing" "$(comp li)"
expect_eq "commands and switches" "--help --version" "$(comp --)"
expect_eq "help takes a command" "route" "$(comp help ro)"
expect_eq "options of listing" "--bold --buffer" "$(comp listing --b)"
expect_eq "options of export" "--comtrade --csv" "$(comp export a.kiv --c)"
# The drawing, printing and device commands exist only in a build with Qt: their options
# come from kivtool's own usage, so a build without them offers none.
if "$KIVTOOL" --help | grep -q '^  kivtool print '; then
  expect_eq "options of print" "--defs --flags --parset-tab --seq -o" "$(comp print a.kiv -)"
else
  expect_eq "no options of a command this build lacks" "" "$(comp print a.kiv --f)"
fi
expect_eq "types" "kivs2 kivs3" "$(comp listing --buffer ev.bin --type '')"
expect_eq "parsets" "1 2" "$(comp write a.kiv --to '')"
expect_eq "a graph's --to is a time" "" "$(comp graph a.kiv --seq 1 --from 0 --to '')"
expect_eq "on or off" "off on" "$(comp listing a.kiv --correction '')"
expect_eq "print flags" "1 10 11 12 13 14 15" "$(comp print a.kiv --flags 1)"

# Sequence numbers: those kivtool lists for the file on the line.
count=$("$KIVTOOL" sequences a.kiv --defs "$KIVSVC_DEFS" | grep -c '^Sequence no\.')
((count > 1)) || fail "the example has $count sequences"
expect_eq "sequence numbers" "$(seq 1 "$count" | sort | tr '\n' ' ' | sed 's/ *$//')" \
  "$(comp listing a.kiv --defs "$KIVSVC_DEFS" --seq '')"
expect_eq "no file, no numbers" "" "$(comp listing --seq '')"

# File names by what the command takes, folders to walk into.
expect_eq "registrations" "a.kiv sub" "$(comp info '')"
expect_eq "graph output" "b.png c.pdf sub" "$(comp graph a.kiv --seq 1 -o '')"
expect_eq "print output" "c.pdf sub" "$(comp print a.kiv -o '')"
expect_eq "csv output" "d.csv sub" "$(comp export a.kiv --seq 1 --csv '')"
expect_eq "COMTRADE folder" "sub" "$(comp export a.kiv --seq 1 --comtrade '')"
expect_eq "raw buffer: any file" "a.kiv b.png c.pdf d.csv e.txt sub" "$(comp hex --buffer '')"
finish
