# shellcheck shell=bash
# The Wine prefix the Windows programs and tests run in. Sourced by windows.sh.

# A Wine prefix made once (marked ready). Run with WINEDLLOVERRIDES="mscoree,mshtml=", so that a fresh
# prefix does not offer the Mono and Gecko installers.
win_make_prefix() {
    local prefix=$1 out
    if [ -f "$prefix/.zt-ready-direct" ]; then
        return 0
    fi
    log "creating the Wine prefix $prefix"
    rm -rf "$prefix"
    # Wine makes the prefix itself, but not the folders above it (~/.cache on a machine that never had one).
    mkdir -p "${prefix%/*}"
    # Internet Options set to a direct connection: without this record Wine assumes automatic proxy
    # detection, and every program that asks the system for a proxy would go looking for one.
    local direct
    direct="460000000000000001000000000000000000000000000000$(printf '0%.0s' {1..64})"
    if ! out=$(WINEPREFIX="$prefix" timeout 300 wineboot --init 2>&1 &&
        WINEPREFIX="$prefix" timeout 60 wine reg add \
            'HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\Connections' \
            /v DefaultConnectionSettings /t REG_BINARY /d "$direct" /f 2>&1 &&
        WINEPREFIX="$prefix" timeout 120 wineserver --wait 2>&1); then
        printf '%s\n' "$out" | tail -n 20 >&2
        log "wineboot failed or took more than 5 minutes"
        return 1
    fi
    touch "$prefix/.zt-ready-direct"
}

# The environment the Windows programs and tests run in: quiet, the cache's prefix. The programs are
# self-contained, so no DLL folder is added to Wine's search path.
win_wine_env() {
    export WINEPREFIX="$ZT_WIN_CACHE/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset WINEPATH
    win_make_prefix "$WINEPREFIX"
}
