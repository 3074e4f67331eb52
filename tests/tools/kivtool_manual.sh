#!/usr/bin/env bash
# kivtool help COMMAND and the kivtool manual page say the same, word for word; the
# version kivtool prints is the one the manual pages carry; kivsim's usage and page name
# the same options.
source "$(dirname "$0")/lib.sh"
mandir=${KIVSVC_MAN_DIR:-$(dirname "$KIVTOOL")/../man}

normalize() { tr -s ' \t\n' '   ' | sed 's/^ //; s/ $//'; }

mapfile -t usage < <("$KIVTOOL" --help | sed -n 's/^  kivtool //p')
((${#usage[@]} >= 13)) || fail "kivtool --help lists ${#usage[@]} commands"
expect_eq "help without a command is the usage" "$("$KIVTOOL" --help)" "$("$KIVTOOL" help)"
expect_status "help of an unknown command" 2 "$KIVTOOL" help nosuch
expect_eq "unknown command named" "Unknown command: nosuch" "$(head -1 "$work/err")"

# The COMMANDS section of the page as man shows it on a terminal.
page=""
if command -v groff >/dev/null; then
  page=$(groff -man -Tascii -P-cbou "$mandir/kivtool.1" 2>&1 |
    sed -n '/^COMMANDS$/,/^[A-Z]/p' | sed '1d;$d' | normalize)
  [[ -n $page ]] || fail "no COMMANDS section in $mandir/kivtool.1"
else
  echo "groff missing: help checked against the usage only"
fi

all=""
for line in "${usage[@]}"; do
  cmd=${line%% *}
  help=$("$KIVTOOL" help "$cmd") || fail "kivtool help $cmd failed"
  expect_eq "help $cmd starts with its usage" "kivtool $line" "$(head -1 <<<"$help")"
  (($(wc -l <<<"$help") >= 3)) || fail "help $cmd has no description"
  all+=" $(normalize <<<"$help")"
  if [[ -n $page && $page != *"$(normalize <<<"$help")"* ]]; then
    fail "help $cmd is not what the manual page says"
  fi
done
# With every command built, the helps one after the other are the whole section after its
# introduction: nothing in the manual that help does not say.
if [[ -n $page && " ${usage[*]} " == *" read "* ]]; then
  all=${all# }
  [[ $page == *"$all" ]] || fail "the manual's COMMANDS section has more than the commands' help"
fi

# Every option a command reads is in its usage line, so in its manual entry: the options
# each cmd_*.cpp reads must appear in the usage of the commands defined there (only the
# commands this build has).
srcdir=$(dirname "$0")/../../tools/kivtool
fullUsage=$("$KIVTOOL" --help)
for file in "$srcdir"/cmd_*.cpp; do
  mapfile -t cmds < <(grep -oE '^int Cmd[A-Za-z]+\(' "$file" | sed 's/^int Cmd//; s/($//' |
    tr '[:upper:]' '[:lower:]')
  lines=""
  for cmd in "${cmds[@]}"; do lines+=$(grep "^  kivtool $cmd " <<<"$fullUsage")$'\n'; done
  [[ -n ${lines//$'\n'/} ]] || continue # none of its commands in this build
  mapfile -t opts < <(grep -oE '(Value|Values|Flag|Switch|IntValue|OnOff)\((args, )?"-[-a-z0-9]+"' \
    "$file" | grep -oE '"-[-a-z0-9]+"' | tr -d '"' | sort -u)
  for opt in "${opts[@]}"; do
    [[ $opt == --defs ]] && continue # every command's, in the first usage line
    grep -qE -- "(^|[ [(|])$opt([] )|]|$)" <<<"$lines" ||
      fail "$(basename "$file") reads $opt, which no usage line of ${cmds[*]} names"
  done
done

# One version: the one the pages carry in their footer.
for name in kivsvc kivtool kivsim; do
  grep -q "^\.TH ${name^^} 1 \"\" \"kivsvc $("$KIVTOOL" --version | cut -d' ' -f2)\"" "$mandir/$name.1" ||
    fail "$name.1 does not carry kivtool's version"
done
expect_eq "--version" "kivtool" "$("$KIVTOOL" --version | cut -d' ' -f1)"
# The programs built beside kivtool print the same version.
version=$("$KIVTOOL" --version | cut -d' ' -f2)
bin=$(dirname "$KIVTOOL")
for name in kivsvc kivsim; do
  [[ -x $bin/$name ]] && expect_eq "$name --version" "$name $version" "$("$bin/$name" --version)"
done

# Every option kivsim's usage names has its entry in the manual page, and the other way
# round: a switch cannot stay in one after it left the other.
if [[ -x $bin/kivsim ]]; then
  options() { grep -oE -- '--[a-z][-a-z0-9]*' | sort -u; }
  expect_eq "kivsim --help and kivsim.1 name the same options" \
    "$(sed 's/\\-/-/g' "$mandir/kivsim.1" | options)" "$("$bin/kivsim" --help | options)"
fi
finish
