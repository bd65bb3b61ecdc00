#!/usr/bin/env bash
# The Windows programs running in one Wine prefix, for tests/RunUnderWine.cmake.
#   wine-leftovers.sh list PREFIX          process ids of the programs running there now, one a line
#   wine-leftovers.sh end PREFIX BEFORE    ends those not listed in the file BEFORE and names each on stdout
# Wine's own processes (the wineserver, services, the desktop) are never counted: they come and go by themselves.
set -euo pipefail
shopt -s extglob
mode=$1 prefix=$2

programs() {
    local environ pid cmdline
    # One grep over every process's environment: those of this prefix.
    for environ in $(grep -lzxF "WINEPREFIX=$prefix" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${environ#/proc/}
        pid=${pid%/environ}
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
