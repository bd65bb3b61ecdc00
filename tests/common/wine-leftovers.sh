#!/usr/bin/env bash
# The Windows programs running in one Wine prefix, for tests/RunUnderWine.cmake.
#   wine-leftovers.sh list PREFIX          process ids of the programs running there now, one a line
#   wine-leftovers.sh end PREFIX BEFORE    ends those not listed in the file BEFORE and names each on stdout
# Wine's own processes (the wineserver, services, the desktop) are never counted: they come and go by themselves.
set -euo pipefail
shopt -s extglob
mode=$1 prefix=$2

programs() {
    local dir pid cmdline
    for dir in /proc/[0-9]*; do
        pid=${dir#/proc/}
        [ -O "$dir" ] && [ "$pid" != $$ ] || continue
        { tr '\0' '\n' <"/proc/$pid/environ"; } 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" || continue
        cmdline=$({ tr '\0' ' ' <"/proc/$pid/cmdline"; } 2>/dev/null) || continue
        case "$cmdline" in
        wineserver* | */wineserver* | *'\system32\'@(services|winedevice|plugplay|svchost|rpcss|conhost|wineboot).exe*) ;;
        *'\explorer.exe /desktop'*) ;;
        *'C:\'* | *'c:\'*) printf '%s %s\n' "$pid" "$cmdline" ;;
        esac
    done
}

case "$mode" in
list) programs | cut -d' ' -f1 ;;
end)
    before=$3
    programs | while read -r pid cmdline; do
        grep -qxF "$pid" "$before" && continue
        kill -9 "$pid" 2>/dev/null || true
        echo "$cmdline"
    done
    ;;
*) exit 2 ;;
esac
