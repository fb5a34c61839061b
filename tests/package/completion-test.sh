#!/usr/bin/env bash
# Drives mbrtu's bash completion with command lines and checks the candidates
# it offers, with the usage text of the mbrtu given.
#   completion-test.sh COMPLETION-FILE MBRTU
set -uo pipefail
completion=$1 mbrtu=$2
source /usr/share/bash-completion/bash_completion
source "$completion"
ports=$(mktemp -d)
trap 'rm -rf "$ports"' EXIT
touch "$ports/ttyUSB0" "$ports/ttyUSB1" "$ports/ttyACM0"
_mbrtu_port_globs="$ports/ttyUSB* $ports/ttyS*"

# The candidates for a command line whose last word is being completed.
candidates() {
    local line="$mbrtu $1"
    read -r -a COMP_WORDS <<< "$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
    COMPREPLY=()
    _mbrtu
    printf '%s\n' "${COMPREPLY[@]}" | sort -u | paste -sd' '
}

failed=0
# Exact: the candidates are these. Including: each word is a candidate, and
# none of the words after "!" is.
check() {
    local got
    got=$(candidates "$1")
    [ "$got" == "$2" ] || { echo "FAIL: '$1': expected '$2', got '$got'"; failed=1; }
}
check_including() {
    local got word
    got=" $(candidates "$1") "
    for word in $2; do
        case $word in
            !*) [[ $got != *" ${word#!} "* ]] || { echo "FAIL: '$1' offers ${word#!}: $got"; failed=1; } ;;
            *) [[ $got == *" $word "* ]] || { echo "FAIL: '$1' lacks $word: $got"; failed=1; } ;;
        esac
    done
}
# Every command of the usage text, whatever commands it has.
commands=$("$mbrtu" --help | grep -oE '^(usage:)? +mbrtu [a-z]+' | awk '{print $NF}')
check_including ''                 "$commands --version --help"
check_including 'w'                'watch write !read'
check_including 'read --t'         '--timeout --trace --type !--to'
check_including 'proxy --'         '--to --listen --faults --seed !--type !--count'
check_including 'project --st'     '--station !--stations'
#     command line                 candidates
check 'read HR1 --type f'          'float32 float64'
check 'read HR1 --order '          'ABCD BADC CDAB DCBA'
check 'write '                     'DI DO FN5DO FN6HR HR IR'
check 'write F'                    'FN5DO FN6HR'
check 'scan --address I'           'IR'
check 'read HR1 --parity '         'E N O'
check 'read HR1 --serial '         "$ports/ttyUSB0 $ports/ttyUSB1"
check 'simulate --faults c'        'close corrupt'
check 'simulate --line-bits '      '10 11'
check 'read HR1 --port '           ''
[ "$failed" -eq 0 ] && echo "completion: 15 command lines complete as expected"
exit "$failed"
