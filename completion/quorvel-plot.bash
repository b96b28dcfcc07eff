# bash completion for quorvel-plot(1)
#
# Options take their value as the next word; the data log is a .csv file.

_quorvel_plot_opts="-o --term --columns -h --help --version"

# Adds the files and folders under $cur whose name ends in one of $1
# (a regular expression of endings, matched in any case).
_quorvel_plot_files() {
    local f
    while IFS= read -r f; do
        [[ -d $f || ${f,,} =~ \.($1)$ ]] && COMPREPLY+=("$f")
    done < <(compgen -f -- "$cur")
    compopt -o filenames 2>/dev/null
}

_quorvel_plot() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    case $prev in
    -o)
        _quorvel_plot_files "png|svg"
        return 0
        ;;
    --term)
        mapfile -t COMPREPLY < <(compgen -W "dumb png svg" -- "$cur")
        return 0
        ;;
    # Labels are typed by hand: they hold blanks and colons.
    --columns)
        return 0
        ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$_quorvel_plot_opts" -- "$cur")
    else
        _quorvel_plot_files csv
    fi
    return 0
}

complete -F _quorvel_plot quorvel-plot
