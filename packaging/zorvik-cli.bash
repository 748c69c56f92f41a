# bash completion for zorvik-cli                          -*- shell-script -*-

_zorvik_cli() {
  local cur prev words cword
  _init_completion || return

  if [[ $cword -eq 1 ]]; then
    COMPREPLY=($(compgen -W 'scan process --help --version' -- "$cur"))
    return
  fi
  case $prev in
    --mask | --protect | --folders | --reads)
      return ;;
    --output | --cache)
      _filedir
      return ;;
    --move)
      _filedir -d
      return ;;
  esac
  case ${words[1]} in
    scan)
      if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--mask --skip-small --skip-empty --exact --protect --output --no-cache --cache --reads --folders --' -- "$cur"))
      else
        _filedir -d
      fi ;;
    process)
      if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--remove --recycle --move --hardlink --symlink --clone --force-metadata
          --delete-empty-folders --yes' -- "$cur"))
      else
        _filedir
      fi ;;
  esac
} &&
  complete -F _zorvik_cli zorvik-cli

# ex: filetype=sh
