# bash completion for kestovan(1); installed as
# /usr/share/bash-completion/completions/kestovan, where bash-completion
# loads it the first time kestovan is completed.

_kestovan()
{
    local cur prev words cword split
    _init_completion -s || return

    case $prev in
        --machine)
            _filedir -d
            return
            ;;
        --answers | --transcript | --log)
            _filedir
            return
            ;;
        --exe-dir)
            # a Windows path inside the machine: nothing to offer from here
            return
            ;;
        --help | -h | --version)
            return
            ;;
    esac
    $split && return

    local word
    for word in "${words[@]:1:cword-1}"; do
        [[ $word == -- ]] && { _filedir; return; }
    done

    if [[ $cur == -* ]]; then
        local options='--machine --exe-dir --quiet --remove-user-files --preview --list
            --json --answers --transcript --log --help -h --version'
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        [[ ${COMPREPLY-} == *= ]] && compopt -o nospace
    fi
} &&
    complete -F _kestovan kestovan
