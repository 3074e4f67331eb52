#!/usr/bin/env bash
# One clock: every time kivtool route --changes gives is the time kivtool listing gives an
# event of the same sequence, text for text, for generated registrations of both types with
# the time corrections on and off. The closing switchgear state ("END STATUS SWITCHGEAR")
# is listed without a time: it is the sequence's last event, where the route ends 0,2 s
# before its last step.
source "$(dirname "$0")/lib.sh"

for type in kivs2 kivs3; do
  for seed in 5; do
    file="$work/$type-$seed.kiv"
    kt generate --type "$type" --seed "$seed" --sequences 12 -o "$file" >/dev/null ||
      fail "generate $type $seed"
    count=$(kt sequences "$file" | wc -l)
    ((count > 3)) || fail "$type $seed: only $count sequences"
    for correction in on off; do
      checked=0
      for ((n = 1; n <= count; n++)); do
        listing=$(kt listing "$file" --seq "$n" --correction "$correction")
        listed=$(sed -n 's/^ *\([0-9][0-9,]*\) \[s\] - .*/\1/p' <<<"$listing" | sort -u)
        if grep -qx "END STATUS SWITCHGEAR" <<<"$listing"; then
          last=$(kt route "$file" --seq "$n" --correction "$correction" |
            sed -n 's/^  \(-\?[0-9]*\),\([0-9]*\)\t.*/\1.\2/p' | sort -g | tail -n 1)
          listed+=$'\n'$(LC_ALL=C awk -v x="$last" 'BEGIN { printf "%.3f", x - 0.2 }' | tr . ,)
        fi
        while IFS=$'\t' read -r time _; do
          checked=$((checked + 1))
          grep -qxF "$time" <<<"$listed" ||
            fail "$type seed $seed correction $correction sequence $n: change at $time is no listed time"
        done < <(kt route "$file" --seq "$n" --correction "$correction" --changes | tail -n +2)
      done
      ((checked > 10)) || fail "$type $seed $correction: only $checked changes"
    done
  done
done

finish
