#!/bin/sh
# Builds the default signature catalogue from signatures.list, one `signature add` per line.
#   build-catalogue.sh CLI [LIST] [OUT]
# CLI is the quarvell-cli program; LIST defaults to signatures.list beside this script and OUT
# to resources/FileSetting.txt.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cli=${1:?usage: build-catalogue.sh CLI [LIST] [OUT]}
list=${2:-$here/signatures.list}
out=${3:-$here/../FileSetting.txt}
tmp="$out.building"
rm -f "$tmp"
line=0
grep -v '^[[:space:]]*#' "$list" | grep -v '^[[:space:]]*$' | while read -r category ext header footer approx options; do
    line=$((line + 1))
    set -- --category "$category" --ext "$ext" --header "$header" --approx "$approx"
    [ "$footer" = "-" ] || set -- "$@" --footer "$footer"
    for option in $options; do
        case "$option" in
            *=*) set -- "$@" "--${option%%=*}" "${option#*=}" ;;
            *) set -- "$@" "--$option" ;;
        esac
    done
    if ! "$cli" signature add "$tmp" "$@" 2>/dev/null; then
        echo "build-catalogue.sh: signature $line ($ext) was refused" >&2
        rm -f "$tmp"
        exit 1
    fi
done
[ -f "$tmp" ] || exit 1
mv "$tmp" "$out"
echo "$(($(wc -c < "$out") / 171)) signatures written to $out"
