# bash completion for corvane-route

_corvane_route()
{
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    local options="--settings --typed --unwrap --follow --check --help --version --"

    # Everything after a bare "--" is a link.
    local i
    for ((i = 1; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && return 0
    done

    # "--settings=FILE" reaches us as three words when "=" breaks words, as
    # it does by default.
    if [[ $prev == --settings || ($prev == = && ${COMP_WORDS[COMP_CWORD-2]} == --settings) ]]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return 0
    fi
    if [[ $cur == --settings=* ]]; then
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "${cur#--settings=}"))
        return 0
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    fi
    return 0
}
complete -F _corvane_route corvane-route
