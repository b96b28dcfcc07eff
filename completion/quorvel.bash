# bash completion for quorvel(1)
#
# Flags come first and take their values attached (-cbench.conf, -u500); the
# device paths follow the last flag. Network controllers (tcp://HOST:PORT)
# are typed in full.

_quorvel_flags="-c -d -f -g -l -m -r -u"

# True when word is one of quorvel's flags: only its first two characters
# count, in any case.
_quorvel_is_flag() {
    local head=${1:0:2}
    [[ " $_quorvel_flags " == *" ${head,,} "* ]]
}

# File names completed after a flag's two characters, which stay as typed.
_quorvel_attached_files() {
    local flag=${1:0:2} part=${1:2} f
    COMPREPLY=()
    while IFS= read -r f; do
        if [[ -d $f ]]; then
            COMPREPLY+=("$flag$f/")
        else
            COMPREPLY+=("$flag$f")
        fi
    done < <(compgen -f -- "$part")
    # A directory is completed further, not ended with a space.
    compopt -o nospace 2>/dev/null
    return 0
}

_quorvel_devices() {
    local cur=$1 d f
    COMPREPLY=()
    for d in /dev/ttyUSB* /dev/ttyACM*; do
        [[ -e $d && $d == "$cur"* ]] && COMPREPLY+=("$d")
    done
    while IFS= read -r f; do
        [[ $f == /dev/ttyUSB* || $f == /dev/ttyACM* ]] && continue
        COMPREPLY+=("$f")
    done < <(compgen -f -- "$cur")
    compopt -o filenames 2>/dev/null
    return 0
}

_quorvel() {
    local cur=${COMP_WORDS[COMP_CWORD]} devices=0 i
    COMPREPLY=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        # bash splits tcp://host:1234 at its colons: the pieces, and the
        # colons between them, are still one device.
        [[ ${COMP_WORDS[i]} =~ ^:+$ || ${COMP_WORDS[i - 1]} =~ ^:+$ ]] && continue
        _quorvel_is_flag "${COMP_WORDS[i]}" || devices=$((devices + 1))
    done

    if ((devices > 0)); then
        # A flag after a device path would leave the run without a device;
        # and a third path is ignored.
        [[ $cur == -* ]] && return 0
        ((devices < 2)) && _quorvel_devices "$cur"
        return 0
    fi

    if [[ $cur == -* ]]; then
        if ((${#cur} < 2)); then
            read -r -a COMPREPLY <<<"$_quorvel_flags"
            return 0
        fi
        _quorvel_is_flag "$cur" || return 0
        case ${cur:1:1} in
        [cCgGlLmM]) _quorvel_attached_files "$cur" ;;
        [uU]) ;;
        *) [[ ${#cur} -eq 2 ]] && COMPREPLY=("$cur") ;;
        esac
        return 0
    fi
    _quorvel_devices "$cur"
}

complete -F _quorvel quorvel
