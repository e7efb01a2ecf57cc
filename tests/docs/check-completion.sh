#!/bin/bash
# The bash completion offers the checker's options, severities, kinds,
# formats and colour choices, read from the built checker itself.
# Usage: check-completion.sh COMPLETION CHECKER
set -u
. "$1"
checker=$2
status=0
expect() {
    local line=$1 want=$2
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_WORDS[0]=$checker
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _dashvane_launcher_check
    if [[ " ${COMPREPLY[*]} " != *" $want "* ]]; then
        echo "\"$line\" offers \"${COMPREPLY[*]}\", not $want" >&2
        status=1
    fi
}
expect "c --sev" --severity
expect "c --installation /tmp --ign" --ignore
expect "c --severity " warning
expect "c --ignore byte-order-mark,letter-c" byte-order-mark,letter-case
expect "c --ignore missing-vm" missing-vmargs
expect "c --format " sarif
expect "c --format check" checkstyle
expect "c --format " man
expect "c --color " never
expect "c --fix --backup " numbered
expect "c --col" --color
expect "c -" --quiet
exit $status
