# shellcheck shell=bash
# The Windows program from start to main window, under Wine on a virtual display, against the local stack
# (scripts/lib/stack-*.sh): it fetches the server list, fetches and runs the sibling tools, shows the login
# dialog, where the password is typed and saved, and the main window; a second start then logs in with the
# saved password alone. Sourced after common.sh and windows.sh (for ZT_WIN_CACHE and ZT_WIN_DEPS).
#
#   win_e2e PROGRAM_DIR TOOLS_DIR MAC_EXE SHOTS_DIR
#
# PROGRAM_DIR holds NorvaQuillet.exe (and, when packaged, its DLLs and Qt plugins; without them the DLLs
# come from ZT_WIN_DEPS). TOOLS_DIR holds the Windows builds of RendloV1.exe, Swapnik.exe and Palvex.exe the
# update server offers; MAC_EXE is the Windows build of zt_machine_mac. The pictures of the login dialog and
# the main window go to SHOTS_DIR as windows-login.png and windows-main.png.
#
# It runs in its own Wine prefix ($ZT_WIN_CACHE/wine-e2e, made on first use) so that the saved settings
# start empty and its wineserver can be ended without touching the prefix the tests use. Every wait is
# bounded; a fault ends the run at once with the program's last output.

ZT_WIN_E2E_PACKAGES=(
    xvfb xauth xdotool x11-utils openbox imagemagick fonts-noto-cjk binutils
    mariadb-server mariadb-client python3
)

# What the program shows, by caption.
ZT_WIN_E2E_LOGIN_CAPTION="로그인"
ZT_WIN_E2E_MAIN_CAPTION="ZT SQL 로그 디코더"

# With Wine's own choices the program's text, Latin and Hangul alike, comes out in a serif CJK font; a
# Korean Windows shows it in a sans font with Hangul (Malgun Gothic), which Noto Sans CJK KR stands in for.
ZT_WIN_E2E_FONT_REPLACEMENTS=("Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Segoe UI" "Malgun Gothic")
ZT_WIN_E2E_FONT="Noto Sans CJK KR"

# The four-part version in a Windows program's version resource (1.0.0.7), or nothing.
win_e2e_file_version() {
    strings -el "$1" | grep -A1 -x FileVersion | grep -E -x '[0-9]+(\.[0-9]+){3}' | tail -n 1
}

# In a subshell of its own: the stack's settings and the clean-up stay inside the run, which cleans up as
# it ends.
win_e2e() {
    (win_e2e_run "$@")
}

win_e2e_run() {
    local program_dir=$1 tools_dir=$2 mac_exe=$3 shots_dir=$4
    set -euo pipefail
    # shellcheck disable=SC2034 # run_cleanup's list, this run's own
    ZT_CLEANUP=()
    trap run_cleanup EXIT
    trap "exit 130" INT
    trap "exit 143" TERM

    local f
    for f in "$program_dir/NorvaQuillet.exe" "$tools_dir/RendloV1.exe" "$tools_dir/Swapnik.exe" \
        "$tools_dir/Palvex.exe" "$mac_exe"; do
        if [ ! -f "$f" ]; then
            log "Windows end-to-end run: $f is missing"
            return 1
        fi
    done
    # shellcheck disable=SC2034 # read by ensure_packages
    local ZT_PACKAGES=("${ZT_WIN_E2E_PACKAGES[@]}")
    ensure_packages

    local work start=$SECONDS
    work="$(mktemp -d /tmp/zt-win-e2e.XXXXXX)"
    add_cleanup "rm -rf '$work'"
    # The stack's log files go here too.
    local BUILD_DIR="$work"

    local deps="${ZT_WIN_DEPS:-$ZT_WIN_CACHE/deps}"
    export WINEPREFIX="$ZT_WIN_CACHE/wine-e2e" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    # A packaged program runs on what its folder holds alone; a bare build finds its DLLs in the dependencies.
    if [ -f "$program_dir/Qt6Core.dll" ]; then
        unset WINEPATH
    else
        export WINEPATH="Z:$deps/bin"
    fi
    win_e2e_prefix
    # The wineserver of this prefix ends with the run, and every program in it.
    add_cleanup "timeout 20 wineserver -k 2>/dev/null"
    # Saved settings from an earlier run would skip the typing.
    wine reg delete 'HKCU\Software\VB and VBA Program Settings' /f >/dev/null 2>&1 || true

    # The program folder: a fresh copy, with the Qt plugins of the dependencies when it brings none (Wine
    # passes no QT_* variable on, so QT_PLUGIN_PATH cannot name them).
    local app="$work/app"
    mkdir -p "$app"
    cp -R "$program_dir/." "$app/"
    if [ ! -d "$app/platforms" ] && [ ! -f "$app/qt.conf" ]; then
        cp -R "$deps/plugins/." "$app/"
    fi

    # The MAC address the Windows build sees, for the allowlist.
    local mac
    if ! mac="$(WINEPATH="Z:$deps/bin" timeout 60 wine "$mac_exe" 2>"$work/mac.log" | tr -d '\r')" ||
        [ -z "$mac" ]; then
        cat "$work/mac.log" >&2
        log "Windows end-to-end run: zt_machine_mac.exe printed no MAC address under Wine"
        return 1
    fi

    # The local stack, serving the Windows tools and naming the Windows build's own revision as current.
    local tools_version program_version
    tools_version="$(win_e2e_file_version "$tools_dir/RendloV1.exe")"
    program_version="$(win_e2e_file_version "$app/NorvaQuillet.exe")"
    if [ -z "$tools_version" ] || [ -z "$program_version" ]; then
        log "Windows end-to-end run: no version resource in RendloV1.exe or NorvaQuillet.exe"
        return 1
    fi
    local ZT_STACK_MACHINE_MAC="$mac" ZT_STACK_TOOLS_DIR="$tools_dir" ZT_STACK_TOOLS_SUFFIX=.exe
    local ZT_STACK_TOOLS_REVISION="${tools_version##*.}"
    source "$ROOT/scripts/lib/stack-db.sh"; zt_stack_db_start
    # The statements the server receives tell when the login dialog has asked for this PC.
    zt_db_sql "$ZT_DB_SOCKET" "SET GLOBAL general_log_file = '$work/general.log'; SET GLOBAL general_log = 1;"
    source "$ROOT/scripts/lib/stack-http.sh"; zt_stack_http_start
    # shellcheck disable=SC2154 # set by stack-http.sh
    printf '%s\r\n' "${program_version##*.}" >"$zt_http_updates/NorvaQuillet_lastver.txt"

    win_e2e_display "$work"

    # --- first start: server list, sibling tools, login dialog, typed and saved password, main window ---
    local t0=$SECONDS
    win_e2e_start "$app" "$work/program-1.log"
    win_e2e_wait 60 "the server list cached as server_address_setting.json" \
        test -s "$app/server_address_setting.json"
    win_e2e_wait 60 "the login dialog (caption \"$ZT_WIN_E2E_LOGIN_CAPTION\")" \
        win_e2e_find "^$ZT_WIN_E2E_LOGIN_CAPTION\$"
    local login=$ZT_WIN_E2E_FOUND
    log "login dialog after $((SECONDS - t0)) s"
    for f in RendloV1.exe Swapnik.exe; do
        [ -f "$app/$f" ] || win_e2e_fail "$f was not fetched into the program folder"
    done
    # Only the version checker asks for the program's own version file; what it says goes to the output.
    grep -q 'GET /download/.*NorvaQuillet_lastver.txt' "$work/stack-http.log" ||
        win_e2e_fail "the version checker RendloV1.exe did not ask the update server for NorvaQuillet_lastver.txt"
    log "version checker: $(grep -m 1 '^RendloV1:' "$ZT_WIN_E2E_LOG" | tr -d '\r' || echo "ran, said nothing")"
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
    log "main window after $((SECONDS - t0)) s"
    win_e2e_check_caption "$main" "$program_version"
    grep -q "where id='$ZT_DEMO_USER' AND password2 = SHA1('$ZT_DEMO_PASSWORD')" "$work/general.log" ||
        win_e2e_fail "the database saw no login of $ZT_DEMO_USER with the typed password"
    win_e2e_wait 30 "the external decoder Palvex.exe fetched by the main window" test -f "$app/Palvex.exe"
    sleep 1
    win_e2e_shot "$main" "$shots_dir/windows-main.png"
    win_e2e_close "$main"

    local saved
    saved="$(wine reg query 'HKCU\Software\VB and VBA Program Settings' /s 2>/dev/null | tr -d '\r')"
    grep -Eq "passwd[[:space:]]+REG_SZ[[:space:]]+$ZT_DEMO_PASSWORD\$" <<<"$saved" ||
        win_e2e_fail "the ticked \"저장\" did not save the password; the settings are:"$'\n'"$saved"

    # --- second start: the saved password logs in with no key pressed ---
    t0=$SECONDS
    win_e2e_start "$app" "$work/program-2.log"
    win_e2e_wait 60 "the main window, logged in with the saved password" \
        win_e2e_find "^$ZT_WIN_E2E_MAIN_CAPTION v\\."
    log "main window with the saved password after $((SECONDS - t0)) s"
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

# Xvfb on a free display, with a window manager so that the pictures have frames and captions (common.sh;
# the run's folder it is given is not needed).
win_e2e_display() {
    zt_start_display --window-manager
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
        if ! kill -0 "$ZT_WIN_E2E_PID" 2>/dev/null; then
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
