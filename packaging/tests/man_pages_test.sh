#!/usr/bin/env bash
# Every option a program's --help names stands in its man page, synopsis included, and the
# page's version is the program's.
# Usage: man_pages_test.sh MAN_DIR BIN_DIR
set -u -o pipefail
man=$1 bin=$2
failed=0
for program in SWPDEMO2 SWPDEMO1 tkr520ctl tkr520-sim; do
    page=$man/$program.1
    help=$("$bin/$program" --help 2>&1)
    synopsis=$(sed -n '/^\.SH SYNOPSIS/,/^\.SH /p' "$page" | sed 's/\\-/-/g')
    body=$(sed 's/\\-/-/g' "$page")
    for option in $(grep -oE -- '--[a-z][a-z-]+' <<<"$help" | sort -u); do
        if ! grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" <<<"$body"; then
            echo "FAIL $program: $option is in --help, not in $page"
            failed=1
        fi
        # The consoles' and the simulator's options all stand in the synopsis; tkr520ctl's
        # synopsis gives [options] COMMAND.
        if [[ $program != tkr520ctl ]] && ! grep -qE -- "$option([^a-z-]|$)" <<<"$synopsis"; then
            echo "FAIL $program: $option is not in the synopsis of $page"
            failed=1
        fi
    done
    version=$("$bin/$program" --version | awk '{print $2}')
    if ! head -1 "$page" | grep -qF "$version"; then
        echo "FAIL $program: $page does not say version $version: $(head -1 "$page")"
        failed=1
    fi
done
exit $failed
