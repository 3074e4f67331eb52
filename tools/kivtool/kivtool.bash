# Bash completion for kivtool: commands, their options, values that have a fixed set, the
# sequence numbers of the registration named on the line, and file names of the right kind.
# The commands and options come from `kivtool --help`, so they follow the installed tool.

# The usage lines of kivtool, "NAME ARGUMENTS...", one a line; asked once a shell.
_kivtool_usage() {
  if [[ ${_kivtool_usage_of-} != "$1" ]]; then
    _kivtool_usage_text=$("$1" --help 2>/dev/null | sed -n 's/^  kivtool //p')
    _kivtool_usage_of=$1
  fi
  printf '%s\n' "$_kivtool_usage_text"
}

# Files whose names end in one of the given extensions, and folders to walk into.
_kivtool_files() {
  local cur=$1 ext
  shift
  local IFS=$'\n'
  for ext in "$@"; do
    COMPREPLY+=($(compgen -f -X "!*.$ext" -- "$cur"))
  done
  COMPREPLY+=($(compgen -d -- "$cur"))
  compopt -o filenames 2>/dev/null
}

_kivtool() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD - 1]}
  local tool=${COMP_WORDS[0]}
  local IFS=$'\n'
  COMPREPLY=()

  if ((COMP_CWORD == 1)); then
    local commands
    commands=$(_kivtool_usage "$tool" | cut -d' ' -f1)
    IFS=$' \t\n'
    COMPREPLY=($(compgen -W "$commands help --help --version" -- "$cur"))
    return
  fi

  local cmd=${COMP_WORDS[1]}
  if [[ $cmd == help ]]; then
    if ((COMP_CWORD == 2)); then
      IFS=$' \t\n'
      COMPREPLY=($(compgen -W "$(_kivtool_usage "$tool" | cut -d' ' -f1)" -- "$cur"))
    fi
    return
  fi

  # The registration file and the definitions folder on the line, for the values read
  # from the file.
  local file="" defs=() i
  for ((i = 2; i < ${#COMP_WORDS[@]}; i++)); do
    if [[ ${COMP_WORDS[i - 1]} == --defs ]]; then
      defs=(--defs "${COMP_WORDS[i]}")
    elif [[ -z $file && ${COMP_WORDS[i]} == *.kiv && -f ${COMP_WORDS[i]} && $i != "$COMP_CWORD" ]]; then
      file=${COMP_WORDS[i]}
    fi
  done

  IFS=$' \t\n'
  case $prev in
    --seq)
      # Numbering the sequences decodes the buffer: milliseconds, so it is done each time.
      if [[ -n $file ]]; then
        COMPREPLY=($(compgen -W "$("$tool" sequences "$file" "${defs[@]}" 2>/dev/null |
          sed -n 's/^Sequence no\.\([0-9]*\).*/\1/p')" -- "$cur"))
      fi
      return ;;
    --parset | --from | --to)
      if [[ $cmd == write || $prev == --parset ]]; then
        COMPREPLY=($(compgen -W "1 2" -- "$cur"))
      fi
      return ;;
    --type)
      COMPREPLY=($(compgen -W "kivs2 kivs3" -- "$cur"))
      return ;;
    --correction | --all-events)
      if [[ $cmd != read ]]; then
        COMPREPLY=($(compgen -W "on off" -- "$cur"))
        return
      fi ;;
    --scale)
      COMPREPLY=($(compgen -W "fit 50 100 200" -- "$cur"))
      return ;;
    --parset-tab)
      COMPREPLY=($(compgen -W "0 1" -- "$cur"))
      return ;;
    --flags)
      COMPREPLY=($(compgen -W "$(seq 0 15)" -- "$cur"))
      return ;;
    --defs | --comtrade)
      IFS=$'\n'
      COMPREPLY=($(compgen -d -- "$cur"))
      compopt -o filenames 2>/dev/null
      return ;;
    --buffer)
      IFS=$'\n'
      COMPREPLY=($(compgen -f -- "$cur"))
      compopt -o filenames 2>/dev/null
      return ;;
    --serial)
      COMPREPLY=($(compgen -W "$(cd /dev 2>/dev/null && ls -d ttyS* ttyUSB* ttyACM* 2>/dev/null)" -- "$cur"))
      return ;;
    --csv)
      _kivtool_files "$cur" csv
      return ;;
    -o)
      case $cmd in
        graph) _kivtool_files "$cur" png pdf ;;
        print | report) _kivtool_files "$cur" pdf ;;
        *) _kivtool_files "$cur" kiv ;;
      esac
      return ;;
    --tcp | --baud | --slave | --time-out | --silence | --seed | --sequences | --max-bytes | \
      --dpi | --setting | --station | --ident)
      return ;;
  esac

  if [[ $cur == -* ]]; then
    local options
    options=$(_kivtool_usage "$tool" | sed -n "s/^$cmd //p" | grep -o -- '-[-a-z0-9]*' | sort -u)
    case $cmd in
      sequences | listing | route | hex) options+=" --ident --correction --all-events" ;;
      generate) options+=" --station" ;;
    esac
    COMPREPLY=($(compgen -W "$options --defs" -- "$cur"))
    return
  fi

  case $cmd in
    params | legend | generate | read) ;;
    *) _kivtool_files "$cur" kiv ;;
  esac
}

complete -F _kivtool kivtool
