# shellcheck shell=bash disable=SC2154,SC2034 # the run's locals come from win_e2e_run, ZT_WIN_E2E_* go to the steps
# What the Windows end-to-end run (e2e.sh) stands on: its own Wine prefix, this PC's MAC address as the
# Windows build sees it, and the local stack serving the Windows tools and the newer build. Sourced by
# windows.sh.

# This run's own Wine prefix, made once, with the font replacements.
win_e2e_prefix() {
    local out
    win_make_prefix "$WINEPREFIX"
    local reg="$WINEPREFIX/zt-e2e-fonts.reg" face
    {
        printf 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
        for face in "${ZT_WIN_E2E_FONT_REPLACEMENTS[@]}"; do
            printf '"%s"="%s"\r\n' "$face" "$ZT_WIN_E2E_FONT"
        done
    } >"$reg"
    if ! out=$(timeout 60 wine regedit /S 'Z:'"${reg//\//\\}" 2>&1); then
        printf '%s\n' "$out" | tail -n 20 >&2
        log "Windows end-to-end run: the font replacements could not be set"
        return 1
    fi
}

# The four-part version in a Windows program's version resource (1.0.0.7), or nothing (and success: the
# caller says what is wrong).
win_e2e_file_version() {
    strings -el "$1" | grep -A1 -x FileVersion | grep -E -x '[0-9]+(\.[0-9]+){3}' | tail -n 1 || true
}


# The stack for the run in $work: the database with the MAC address of $mac_exe on its allowlist (its
# statements logged to $work/general.log), the update server with the tools of $tools_dir and $newer_exe as
# the newer build. Sets mac, newer_version (the run's locals).
win_e2e_stack() {
    if ! mac="$(timeout 60 wine "$mac_exe" 2>"$work/mac.log" | tr -d '\r')" || [ -z "$mac" ]; then
        cat "$work/mac.log" >&2
        log "Windows end-to-end run: zt_machine_mac.exe printed no MAC address under Wine"
        return 1
    fi

    local tools_version program_version
    tools_version="$(win_e2e_file_version "$tools_dir/RendloV1.exe")"
    program_version="$(win_e2e_file_version "$app/NorvaQuillet.exe")"
    newer_version="$(win_e2e_file_version "$newer_exe")"
    if [ -z "$tools_version" ] || [ -z "$program_version" ] || [ -z "$newer_version" ]; then
        log "Windows end-to-end run: no version resource in RendloV1.exe or one of the NorvaQuillet.exe builds"
        return 1
    fi
    if [ "${newer_version##*.}" -le "${program_version##*.}" ]; then
        log "Windows end-to-end run: $newer_exe ($newer_version) is not newer than the package ($program_version)"
        return 1
    fi
    # shellcheck disable=SC2034 # read by stack-db.sh and stack-http.sh
    local ZT_STACK_MACHINE_MAC="$mac" ZT_STACK_TOOLS_DIR="$tools_dir" ZT_STACK_TOOLS_SUFFIX=.exe
    # shellcheck disable=SC2034 # read by stack-http.sh
    local ZT_STACK_TOOLS_REVISION="${tools_version##*.}"
    zt_stack_db_start
    # The statements the server receives tell when the login dialog has asked for this PC.
    zt_db_sql "$ZT_DB_SOCKET" "SET GLOBAL general_log_file = '$work/general.log'; SET GLOBAL general_log = 1;"
    zt_stack_http_start
    # shellcheck disable=SC2154 # set by stack-http.sh
    zt_stack_publish "$newer_exe" NorvaQuillet.exe
    printf '%s\r\n' "${newer_version##*.}" >"$zt_http_updates/NorvaQuillet_lastver.txt"
}
