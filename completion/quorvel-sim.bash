# bash completion for quorvel-sim(1)
#
# Options take their value as the next word. bash splits ADDR=KIND at the
# "=", so a fault kind is completed in the words after a --fault address.

_quorvel_sim_opts="--link --listen --instruments --fault --latency --ramp --log
--chaos --vanish-after --reappear-after --reset-on-replug -h --help --version"
_quorvel_sim_faults="silent pieces lonelf crlf overlong flood nul burst none"

_quorvel_sim() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()
    # "--fault 5=" is the words --fault, 5 and =; "--fault 5=pi" adds pi.
    if [[ $cur == = && ${COMP_WORDS[COMP_CWORD - 2]} == --fault ]]; then
        read -r -a COMPREPLY <<<"$_quorvel_sim_faults"
        return 0
    fi
    if [[ $prev == = && ${COMP_WORDS[COMP_CWORD - 3]} == --fault ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$_quorvel_sim_faults" -- "$cur")
        return 0
    fi
    case $prev in
    --link | --instruments | --log)
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        compopt -o filenames 2>/dev/null
        return 0
        ;;
    # Addresses, ports and times are typed by hand.
    --listen | --fault | --latency | --ramp | --chaos | --vanish-after | --reappear-after)
        return 0
        ;;
    esac
    [[ $cur == -* ]] && mapfile -t COMPREPLY < <(compgen -W "$_quorvel_sim_opts" -- "$cur")
    return 0
}

complete -F _quorvel_sim quorvel-sim
