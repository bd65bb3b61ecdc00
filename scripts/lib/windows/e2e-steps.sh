# shellcheck shell=bash
# The steps the Windows end-to-end run (e2e.sh) is made of: starting the program, waiting for what it shows,
# pictures, closing its windows, failing with what it said last. Sourced by windows.sh.

# Process $1 has ended. A program the replacer started is nobody's child here: once it has ended it stays a zombie
# until the system reaps it, which may take seconds, and kill -0 reaches a zombie too.
win_e2e_ended() {
    local state
    state=$(ps -o stat= -p "$1" 2>/dev/null) || return 0
    [[ $state == Z* ]]
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
        elif win_e2e_ended "$ZT_WIN_E2E_PID"; then
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

# win_e2e_close ID [SECONDS]: closes a window as a user does (Alt+F4) and waits until the program has ended, at
# most SECONDS (20).
win_e2e_close() {
    local id=$1 seconds=${2:-20} n
    xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers alt+F4
    for ((n = 0; n < seconds * 10; n++)); do
        win_e2e_ended "$ZT_WIN_E2E_PID" && return 0
        sleep 0.1
    done
    win_e2e_fail "the program did not end within $seconds s after its window was closed"
}

# Internet Options of the run's prefix: a direct connection, or with $1 the PAC script at that address (the record
# the system's Internet functions read: its flags, then the proxy, the bypass list and the script's address, each
# after its length).
win_e2e_internet_settings() {
    local url=${1:-} flags=01 length key='HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings'
    [ -z "$url" ] || flags=05
    length=$(printf '%08x' ${#url})
    wine reg add "$key\Connections" /v DefaultConnectionSettings /t REG_BINARY /f /d \
        "4600000000000000${flags}0000000000000000000000${length:6:2}${length:4:2}${length:2:2}${length:0:2}$(
            printf '%s' "$url" | od -An -tx1 | tr -d ' \n')$(printf '0%.0s' {1..64})" >/dev/null 2>&1 ||
        win_e2e_fail "Internet Options could not be set"
    if [ -n "$url" ]; then
        wine reg add "$key" /v AutoConfigURL /t REG_SZ /d "$url" /f >/dev/null 2>&1
    else
        wine reg delete "$key" /v AutoConfigURL /f >/dev/null 2>&1 || true
    fi
}

# Seconds since $1 (an $EPOCHREALTIME), to a tenth.
win_e2e_since() {
    awk -v t0="$1" -v now="$EPOCHREALTIME" 'BEGIN { printf "%.1f", now - t0 }'
}
