#!/usr/bin/env bash
# The bash completions of tkr520ctl and the console, as Tab offers them at the end of a
# command line, and their word lists against the programs' own --help.
# Usage: completion_test.sh COMPLETIONS_DIR BIN_DIR
set -uf -o pipefail
completions=$1 bin=$2
source /usr/share/bash-completion/bash_completion
source "$completions/tkr520ctl"
source "$completions/SWPDEMO2"
compopt() { :; }  # readline's display options mean nothing outside a real completion

# Splits the line as bash does for a completion (a word break such as '=' is a word of its
# own), calls the command's completion function and prints what it offers, sorted, on one line.
offers() {
    local line=$1 word
    COMP_LINE=$line COMP_POINT=${#line} COMP_WORDS=()
    for word in $line; do
        while [[ $word == *=* ]]; do
            [[ ${word%%=*} ]] && COMP_WORDS+=("${word%%=*}")
            COMP_WORDS+=("=")
            word=${word#*=}
        done
        [[ $word ]] && COMP_WORDS+=("$word")
    done
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    local registered function
    registered=$(complete -p "${COMP_WORDS[0]}") || return
    function=${registered#*-F } function=${function%% *}
    "$function" "${COMP_WORDS[0]}" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]:-}"
    ((${#COMPREPLY[@]})) && printf '%s\n' "${COMPREPLY[@]}" | sort -V | paste -sd' '
    return 0
}

failed=0 passed=0
check() {  # NAME GOT EXPECTED
    if [[ $2 == "$3" ]]; then
        ((passed++))
    else
        ((failed++))
        printf 'FAIL %s\n  got:      %s\n  expected: %s\n' "$1" "$2" "$3"
    fi
}

ports=$(printf 'COM%s= ' {1..16}) ports=${ports% }
rows=(
    "tkr520ctl |capture defaults detect monitor ports profile send set station status"
    "tkr520ctl --|--com --help --json --no-system-ports --port --settings --version"
    "tkr520ctl --com |$(echo {1..16})"
    "tkr520ctl --com 1|1 10 11 12 13 14 15 16"
    "tkr520ctl --port |$ports"
    "tkr520ctl --port COM1|COM1= COM10= COM11= COM12= COM13= COM14= COM15= COM16="
    "tkr520ctl --port COM3=/dev/nul|/dev/null"
    "tkr520ctl --port=COM1|COM1= COM10= COM11= COM12= COM13= COM14= COM15= COM16="
    "tkr520ctl --port=COM2=/dev/nul|/dev/null"
    "tkr520ctl --port COM1=/dev/null --com 1 s|send set station status"
    "tkr520ctl --json set bu|buzzer="
    "tkr520ctl set tracks=1,3 pre|prefix1= prefix2= prefix3="
    "tkr520ctl set suffix2=|default"
    "tkr520ctl set buzzer=|off on"
    "tkr520ctl set rts=o|off on"
    "tkr520ctl set protocol=|0 1 2"
    "tkr520ctl set tracks=|"
    "tkr520ctl profile |apply diff save"
    "tkr520ctl profile apply --|--check"
    "tkr520ctl station --|--log"
    "tkr520ctl profile save /dev/nul|/dev/null"
    "tkr520ctl capture --|--count --show-pan --timeout"
    "tkr520ctl capture --count |"
    "tkr520ctl monitor --|--timestamps"
    "tkr520ctl send --|--hex"
    "tkr520ctl status |"
    "SWPDEMO2 --|--demo --help --list-ports --no-system-ports --port --screenshot --simulate --trace --version"
    "SWPDEMO1 --li|--list-ports"
    "SWPDEMO2 --port |$ports"
    "SWPDEMO1 --port COM16=/dev/nul|/dev/null"
    "SWPDEMO2 --simulate |"
)
for row in "${rows[@]}"; do
    check "'${row%%|*}'" "$(offers "${row%%|*}")" "${row#*|}"
done

# The word lists against the programs' own help.
words() { grep -oE -- "$1" | sed -E 's/^ +//' | sort -u | paste -sd' '; }
console_help=$("$bin/SWPDEMO2" --help) && ctl_help=$("$bin/tkr520ctl" --help) || {
    echo "FAIL cannot run the programs in $bin"
    exit 1
}
sorted() { tr ' ' '\n' | sort -u | paste -sd' '; }
check "the console's options" "$(offers 'SWPDEMO2 --' | sorted)" \
    "$(words '^  --[a-z-]+' <<<"$console_help")"
check "tkr520ctl's options" "$(offers 'tkr520ctl --' | sorted)" \
    "$(sed -n '/^Options:/,/^Commands:/p' <<<"$ctl_help" | words '^  --[a-z-]+')"
check "tkr520ctl's commands" "$(offers 'tkr520ctl ' | sorted)" \
    "$(sed -n '/^Commands:/,/^Exit status/p' <<<"$ctl_help" | words '^  [a-z]+')"
check "profile's commands" "$(offers 'tkr520ctl profile ' | sorted)" \
    "$(grep -oE '^  profile [a-z]+' <<<"$ctl_help" | sed 's/.* //' | sorted)"
for command in capture monitor send station; do
    check "$command's options" "$(offers "tkr520ctl $command --" | sorted)" \
        "$(grep -E "^  $command " <<<"$ctl_help" | words '\-\-[a-z-]+' | sed -E 's/^ +//')"
done
# Every setting offered is one the help names ("prefix1..3" names three).
named=$(sed -E 's/([a-z]+)1\.\.3/\11 \12 \13/g' <<<"$ctl_help")
for setting in $(offers 'tkr520ctl set '); do
    grep -qw -- "${setting%=}" <<<"$named" && ((passed++)) ||
        { ((failed++)); echo "FAIL the help names no setting ${setting%=}"; }
done

echo "$passed passed, $failed failed"
((failed == 0))
