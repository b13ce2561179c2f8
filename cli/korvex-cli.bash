# bash completion for korvex-cli                              -*- shell-script -*-
# Commands and options are read from the program's own help, so they never go stale.

# The command names the help lists under "Commands:".
_korvex_cli_commands() {
  "$1" --help 2>/dev/null | sed -n '/^Commands:/,/^$/s/^  \([a-z][a-z-]*\) .*/\1/p'
}

_korvex_cli() {
  local cli=$1 cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} words=
  COMPREPLY=()
  local command=${COMP_WORDS[1]}
  if ((COMP_CWORD == 1)); then
    words="$(_korvex_cli_commands "$cli") help --help --version"
  elif [[ $command == help ]]; then
    ((COMP_CWORD == 2)) && words=$(_korvex_cli_commands "$cli")
  else
    case $prev in
      --port)
        # The first field of each port's line; nothing where the program cannot list ports.
        words=$("$cli" ports 2>/dev/null | awk '$2 != "queue" { print $1 }') ;;
      --queue)
        words=$("$cli" ports 2>/dev/null | awk '$2 == "queue" { print $1 }') ;;
      --baud)
        [[ $command == send ]] && words="2400 4800 9600 14400 19200 38400 56000 57600 115200" ;;
      --flow)
        words="cts/rts xon/xoff none"
        [[ $command == virtual-cutter ]] && words="none xon/xoff" ;;
      --pace)
        words="none query time" ;;
      --width | --height | --tx-buffer | --buffer | --cutter-buffer | --speed | --travel) ;;
      *)
        if [[ $cur == -* ]]; then
          words=$("$cli" "$command" --help 2>/dev/null | grep -oE '(^|[ ,[])--?[a-z][a-z-]*' | tr -d ' ,[' | sort -u)
        else
          # Jobs, output files and links; names with spaces stay whole.
          compopt -o filenames 2>/dev/null
          mapfile -t COMPREPLY < <(compgen -f -- "$cur")
          return 0
        fi ;;
    esac
  fi
  mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
  return 0
}
complete -F _korvex_cli korvex-cli
