#!/usr/bin/env bash
# Desktop entries or AppStream files as their validators take them. Clean means no remark
# at all: both tools print hints and pedantic notes and still succeed.
# Usage: validate.sh desktop|appstream FILE...
set -u -o pipefail
kind=$1
shift
case $kind in
    desktop) out=$(desktop-file-validate "$@" 2>&1) ;;
    appstream) out=$(appstreamcli validate --pedantic --strict --no-net --explain "$@" 2>&1) ;;
    *) echo "validate.sh: desktop or appstream, not $kind" >&2; exit 2 ;;
esac
status=$?
out=$(grep -v '^✔ Validation was successful' <<<"$out")
[[ $out ]] && echo "$out"
((status == 0)) && [[ -z $out ]]
