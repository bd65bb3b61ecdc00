# shellcheck shell=bash
# The Windows program from start to main window, under Wine on a virtual display, against the local stack
# (zt_stack_db_start, zt_stack_http_start), as a company PC meets a new release: the packaged program, unpacked
# into a folder named "업무 도구 (x86)", fetches the server list and the sibling tools; the update server offers
# a newer build, which the version checker fetches as New_NorvaQuillet.exe; the program hands over to the
# replacer and ends, the replacer puts the newer build in its place and starts it; its login dialog appears,
# the password is typed and saved, and its main window shows the new revision. A second start then logs in
# with the saved password alone and does not update again. Last, the newer exe alone in an empty folder
# reaches its login dialog: nothing it needs is missing. Sourced by windows.sh; the run needs testdb.sh,
# stack-db.sh and stack-http.sh sourced too, and the packages of ZT_WIN_TEST_PACKAGES.
#
#   win_e2e PROGRAM_DIR NEWER_EXE TOOLS_DIR MAC_EXE SHOTS_DIR
#
# PROGRAM_DIR is the unpacked package; NEWER_EXE the same sources built with the next revision. TOOLS_DIR
# holds the Windows builds of RendloV1.exe, Swapnik.exe and Palvex.exe the update server offers; MAC_EXE is
# the Windows build of zt_machine_mac. The pictures of the newer build's login dialog and main window go to
# SHOTS_DIR as windows-login.png and windows-main.png.
#
# It runs in its own Wine prefix ($ZT_WIN_CACHE/wine-e2e, made on first use) so that the saved settings
# start empty and its wineserver can be ended without touching the prefix the tests use. Every wait is
# bounded; a fault ends the run at once with the program's last output.

# What the program shows, by caption.
ZT_WIN_E2E_LOGIN_CAPTION="로그인"
ZT_WIN_E2E_MAIN_CAPTION="ZT SQL 로그 디코더"

# With Wine's own choices the program's text, Latin and Hangul alike, comes out in a serif CJK font; a
# Korean Windows shows it in a sans font with Hangul (Malgun Gothic), which Noto Sans CJK KR stands in for.
ZT_WIN_E2E_FONT_REPLACEMENTS=("Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" "Malgun Gothic")
ZT_WIN_E2E_FONT="Noto Sans CJK KR"

# In a subshell of its own: the stack's settings and the clean-up stay inside the run, which cleans up as
# it ends.
win_e2e() {
    (win_e2e_run "$@")
}

win_e2e_run() {
    local program_dir=$1 newer_exe=$2 tools_dir=$3 mac_exe=$4 shots_dir=$5
    set -euo pipefail
    # shellcheck disable=SC2034 # run_cleanup's list, this run's own
    ZT_CLEANUP=()
    trap run_cleanup EXIT
    trap "exit 130" INT
    trap "exit 143" TERM

    local f
    for f in "$program_dir/NorvaQuillet.exe" "$newer_exe" "$tools_dir/RendloV1.exe" "$tools_dir/Swapnik.exe" \
        "$tools_dir/Palvex.exe" "$mac_exe"; do
        if [ ! -f "$f" ]; then
            log "Windows end-to-end run: $f is missing"
            return 1
        fi
    done
    local work start=$SECONDS
    work="$(mktemp -d /tmp/zt-win-e2e.XXXXXX)"
    add_cleanup "rm -rf $(printf %q "$work")"
    # The stack's log files go here too.
    local BUILD_DIR="$work"

    export WINEPREFIX="$ZT_WIN_CACHE/wine-e2e" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # The programs are self-contained: Wine's search path gets nothing of the build.
    unset WINEPATH
    win_e2e_prefix
    # The wineserver of this prefix ends with the run, and every program in it.
    add_cleanup "timeout 20 wineserver -k 2>/dev/null"
    # Saved settings from an earlier run would skip the typing.
    wine reg delete 'HKCU\Software\VB and VBA Program Settings' /f >/dev/null 2>&1 || true

    # The program folder: the package as a user unpacks it, in a folder whose name has Hangul and blanks.
    local app="$work/업무 도구 (x86)"
    mkdir -p "$app"
    cp -R "$program_dir/." "$app/"

    # The MAC address the Windows build sees, for the allowlist.
    local mac
    if ! mac="$(timeout 60 wine "$mac_exe" 2>"$work/mac.log" | tr -d '\r')" || [ -z "$mac" ]; then
        cat "$work/mac.log" >&2
        log "Windows end-to-end run: zt_machine_mac.exe printed no MAC address under Wine"
        return 1
    fi

    # The local stack, serving the Windows tools and the newer build of the program.
    local tools_version program_version newer_version
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
    cp "$newer_exe" "$zt_http_updates/NorvaQuillet.exe"
    printf '%s\r\n' "${newer_version##*.}" >"$zt_http_updates/NorvaQuillet_lastver.txt"

    # A virtual display with a window manager, so that the pictures have frames and captions.
    zt_start_display --window-manager

    # --- first start: server list, sibling tools, the update, the newer build's login dialog ---
    local t0=$EPOCHREALTIME
    win_e2e_start "$app" "$work/program-1.log"
    local older=$ZT_WIN_E2E_PID status=0
    ZT_WIN_E2E_ALIVE=true
    win_e2e_wait 90 "the hand-over to the replacer (the older build ending after fetching New_NorvaQuillet.exe)" \
        win_e2e_ended "$older"
    wait "$older" 2>/dev/null || status=$?
    [ "$status" -eq 0 ] || win_e2e_fail "the older build ended with exit code $status instead of handing over"
    grep -q 'GET /download/.*/NorvaQuillet.exe' "$work/stack-http.log" ||
        win_e2e_fail "the older build ended without the version checker fetching NorvaQuillet.exe"
    log "older build handed over after $(win_e2e_since "$t0") s"
    # From here on the replacer, then the newer build it starts, run in the program's place.
    ZT_WIN_E2E_ALIVE=win_e2e_update_running
    win_e2e_wait 60 "the newer build's login dialog (caption \"$ZT_WIN_E2E_LOGIN_CAPTION\")" \
        win_e2e_find "^$ZT_WIN_E2E_LOGIN_CAPTION\$"
    local login=$ZT_WIN_E2E_FOUND
    ZT_WIN_E2E_PID=$(win_e2e_program_pid)
    ZT_WIN_E2E_ALIVE=""
    [ -n "$ZT_WIN_E2E_PID" ] || win_e2e_fail "no process runs NorvaQuillet.exe"
    log "login dialog of the newer build after $(win_e2e_since "$t0") s"
    [ ! -e "$app/New_NorvaQuillet.exe" ] || win_e2e_fail "New_NorvaQuillet.exe was left in the program folder"
    cmp -s "$newer_exe" "$app/NorvaQuillet.exe" || win_e2e_fail "NorvaQuillet.exe in the program folder is not the newer build"
    [ -f "$app/Swapnik.exe" ] || win_e2e_fail "Swapnik.exe was not fetched into the program folder"
    # The dialog fills in the user id once it has asked the database; then it waits for the password.
    win_e2e_wait 30 "the login dialog asking for the password (the user id filled in)" \
        grep -q "mac_addr = '$mac'" "$work/general.log"
    sleep 1
    mkdir -p "$shots_dir"
    win_e2e_shot "$login" "$shots_dir/windows-login.png"

    # As a user does: Alt+P to the password, type it, Tab to "저장" and tick it, Enter for "확인".
    xdotool windowactivate --sync "$login" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers alt+p
    # shellcheck disable=SC2154 # set by stack-db.sh
    xdotool type --delay 50 "$ZT_DEMO_PASSWORD"
    xdotool key Tab space Return
    win_e2e_wait 60 "the main window (caption \"$ZT_WIN_E2E_MAIN_CAPTION v.…\")" \
        win_e2e_find "^$ZT_WIN_E2E_MAIN_CAPTION v\\."
    local main=$ZT_WIN_E2E_FOUND
    log "main window after $(win_e2e_since "$t0") s"
    win_e2e_check_caption "$main" "$newer_version"
    grep -q "where id='$ZT_DEMO_USER' AND password2 = SHA1('$ZT_DEMO_PASSWORD')" "$work/general.log" ||
        win_e2e_fail "the database saw no login of $ZT_DEMO_USER with the typed password"
    win_e2e_wait 30 "the external decoder Palvex.exe fetched by the main window" test -f "$app/Palvex.exe"
    sleep 1
    win_e2e_shot "$main" "$shots_dir/windows-main.png"
    win_e2e_close "$main"

    local saved
    saved="$(wine reg query 'HKCU\Software\VB and VBA Program Settings' /s 2>/dev/null | tr -d '\r' || true)"
    # Saved protected for this user: marked, and the password itself nowhere in the registry.
    if ! grep -Eq "passwd[[:space:]]+REG_SZ[[:space:]]+\{DPAPI\}" <<<"$saved" || grep -qF "$ZT_DEMO_PASSWORD" <<<"$saved"; then
        win_e2e_fail "the ticked \"저장\" did not save the password protected; the settings are:"$'\n'"$saved"
    fi

    # --- second start: no update again; the saved password logs in with no key pressed ---
    t0=$EPOCHREALTIME
    win_e2e_start "$app" "$work/program-2.log"
    win_e2e_wait 60 "the main window, logged in with the saved password" \
        win_e2e_find "^$ZT_WIN_E2E_MAIN_CAPTION v\\."
    log "main window with the saved password after $(win_e2e_since "$t0") s"
    win_e2e_check_caption "$ZT_WIN_E2E_FOUND" "$newer_version"
    [ "$(grep -c 'GET /download/.*/NorvaQuillet.exe' "$work/stack-http.log")" -eq 1 ] ||
        win_e2e_fail "the second start fetched NorvaQuillet.exe again"
    win_e2e_close "$ZT_WIN_E2E_FOUND"

    # --- the newer exe alone in an empty folder: no DLL missing, it reaches its first window ---
    local lone="$work/lone exe"
    mkdir -p "$lone"
    cp "$newer_exe" "$lone/NorvaQuillet.exe"
    # Without the saved password it stops at the login dialog.
    wine reg delete 'HKCU\Software\VB and VBA Program Settings' /f >/dev/null 2>&1 || true
    t0=$EPOCHREALTIME
    win_e2e_start "$lone" "$work/program-3.log"
    win_e2e_wait 60 "the login dialog of the exe alone in an empty folder" \
        win_e2e_find "^$ZT_WIN_E2E_LOGIN_CAPTION\$"
    log "the exe alone in an empty folder reached its login dialog after $(win_e2e_since "$t0") s"
    win_e2e_close "$ZT_WIN_E2E_FOUND"

    log "Windows end-to-end run passed in $((SECONDS - start)) s; pictures in $shots_dir"
}

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

# --- the steps of the run ---

# The four-part version in a Windows program's version resource (1.0.0.7), or nothing (and success: the
# caller says what is wrong).
win_e2e_file_version() {
    strings -el "$1" | grep -A1 -x FileVersion | grep -E -x '[0-9]+(\.[0-9]+){3}' | tail -n 1 || true
}

# Process $1 has ended.
win_e2e_ended() {
    ! kill -0 "$1" 2>/dev/null
}

# Wine runs each Windows process as a process of its own whose command line is the Windows one.
win_e2e_windows_pids() {
    pgrep -f -- "$1" || true
}

# During the update the replacer or the newer build it started runs.
win_e2e_update_running() {
    [ -n "$(win_e2e_windows_pids 'NorvaQuillet\.exe|Swapnik\.exe')" ]
}

# The process of the program itself (not the replacer, whose command line names it too).
win_e2e_program_pid() {
    local pid cmdline
    for pid in $(win_e2e_windows_pids 'NorvaQuillet\.exe'); do
        cmdline=$(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null) || continue
        if [[ $cmdline != *Swapnik* && $cmdline != *New_* ]]; then
            echo "$pid"
            return 0
        fi
    done
}

# Starts the program from its folder; ZT_WIN_E2E_PID and ZT_WIN_E2E_LOG name it and its output.
win_e2e_start() {
    local app=$1
    ZT_WIN_E2E_LOG=$2
    (cd "$app" && exec wine "$app/NorvaQuillet.exe") >"$ZT_WIN_E2E_LOG" 2>&1 &
    ZT_WIN_E2E_PID=$!
    add_cleanup "kill $ZT_WIN_E2E_PID 2>/dev/null"
}

# Fails the run with what the program, Wine and the stack said last.
win_e2e_fail() {
    {
        echo "--- the program's and Wine's output (${ZT_WIN_E2E_LOG:-none}):"
        tail -n 30 "${ZT_WIN_E2E_LOG:-/dev/null}" 2>/dev/null || true
        echo "--- the local HTTP server's last requests:"
        tail -n 10 "$BUILD_DIR/stack-http.log" 2>/dev/null || true
        echo "--- windows on the display:"
        xdotool search --onlyvisible --name . 2>/dev/null | while read -r w; do
            echo "$w $(xdotool getwindowname "$w" 2>/dev/null)"
        done || true
    } >&2
    log "Windows end-to-end run failed: $*"
    exit 1
}

# win_e2e_wait SECONDS WHAT COMMAND...: polls COMMAND until it succeeds; fails at once when the program has
# ended, and after SECONDS.
win_e2e_wait() {
    local seconds=$1 what=$2 deadline status
    shift 2
    deadline=$((SECONDS + seconds))
    while ! "$@" 2>/dev/null; do
        if [ -n "${ZT_WIN_E2E_ALIVE:-}" ]; then
            "$ZT_WIN_E2E_ALIVE" || win_e2e_fail "the program and the replacer ended before $what"
        elif ! kill -0 "$ZT_WIN_E2E_PID" 2>/dev/null; then
            wait "$ZT_WIN_E2E_PID" 2>/dev/null && status=0 || status=$?
            win_e2e_fail "the program ended (exit $status) before $what"
        fi
        [ $SECONDS -lt "$deadline" ] || win_e2e_fail "no $what within $seconds s"
        sleep 0.25
    done
}

# A visible top-level window whose caption matches; ZT_WIN_E2E_FOUND names it.
win_e2e_find() {
    ZT_WIN_E2E_FOUND="$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1)"
    [ -n "$ZT_WIN_E2E_FOUND" ]
}

# The main window's caption carries the version as major.minor.revision.
win_e2e_check_caption() {
    local id=$1 version=$2 caption expected
    caption="$(xdotool getwindowname "$id")"
    IFS=. read -r major minor _ revision <<<"$version"
    expected="$ZT_WIN_E2E_MAIN_CAPTION v.$major.$minor.$revision"
    [ "$caption" = "$expected" ] || win_e2e_fail "the main window's caption is \"$caption\", not \"$expected\""
    log "main window: \"$caption\""
}

# A picture of a window with the frame and caption the window manager gave it.
win_e2e_shot() {
    local id=$1 file=$2 frame=$1 parent
    while parent="$(xwininfo -children -id "$frame" 2>/dev/null | sed -n 's/^ *Parent window id: \(0x[0-9a-f]*\) .*/\1/p')" &&
        [ -n "$parent" ] && ! xwininfo -children -id "$frame" | grep -q '^ *Parent window id: .*(the root window)'; do
        frame=$parent
    done
    import -window "$frame" "$file" || win_e2e_fail "no picture of window $id"
    log "picture: $file"
}

# Closes a window as a user does (Alt+F4) and waits until the program has ended.
win_e2e_close() {
    local id=$1 n
    xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers alt+F4
    for ((n = 0; n < 100; n++)); do
        kill -0 "$ZT_WIN_E2E_PID" 2>/dev/null || return 0
        sleep 0.2
    done
    win_e2e_fail "the program did not end within 20 s after its main window was closed"
}

# Seconds since $1 (an $EPOCHREALTIME), to a tenth.
win_e2e_since() {
    awk -v t0="$1" -v now="$EPOCHREALTIME" 'BEGIN { printf "%.1f", now - t0 }'
}
