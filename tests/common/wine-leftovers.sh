#!/usr/bin/env bash
# Runs a Windows program for tests/RunUnderWine.cmake (the emulator's command line, WINEPREFIX=... in it), then
# ends each Windows program it left running in that prefix and names it. Wine's own processes (the wineserver,
# services, the desktop) are never counted: they come and go by themselves.
#   wine-leftovers.sh /usr/bin/env ... WINEPREFIX=<prefix> ... wine <test.exe> [arguments...]
set -u
shopt -s extglob
prefix=
for word in "$@"; do
    [[ $word == WINEPREFIX=* ]] && prefix=${word#WINEPREFIX=}
done
[ -n "$prefix" ] || exec "$@"

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
        *wine-leftovers.sh*) ;;
        *'C:\'* | *'c:\'*) printf '%s %s\n' "$pid" "$cmdline" ;;
        esac
    done
}

before=$(programs | cut -d' ' -f1)
"$@"
status=$?
programs | while read -r pid cmdline; do
    grep -qxF "$pid" <<<"$before" && continue
    kill -9 "$pid" 2>/dev/null
    echo "Ended what the test left running in $prefix: $cmdline"
done
exit "$status"
