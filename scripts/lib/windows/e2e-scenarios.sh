# shellcheck shell=bash disable=SC2154,SC2034 # the run's locals come from win_e2e_run, ZT_WIN_E2E_* go to the steps
# The scenarios of the Windows end-to-end run (e2e.sh), in the order it runs them; each reads the run's
# locals (app, work, mac, newer_exe, newer_version, shots_dir). Sourced by windows.sh.

# First start: server list, sibling tools, the update, the newer build's login dialog; the password typed and
# saved, the main window with the new revision.
win_e2e_update_cycle() {
    local t0=$EPOCHREALTIME
    win_e2e_start "$app" "$work/program-1.log"
    local older=$ZT_WIN_E2E_PID status=0
    ZT_WIN_E2E_ALIVE=true
    win_e2e_wait 90 "the hand-over to the replacer (the older build ending after fetching New_NorvaQuillet.exe)" \
        win_e2e_ended "$older"
    wait "$older" 2>/dev/null || status=$?
    [ "$status" -eq 0 ] || win_e2e_fail "the older build ended with exit code $status instead of handing over"
    grep -q 'GET /download/[^ ]*/NorvaQuillet\.exe HTTP' "$work/stack-http.log" ||
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
    # The statement carries the password's hash, never the password.
    local hash
    hash=$(printf '%s' "$ZT_DEMO_PASSWORD" | sha1sum | cut -d' ' -f1)
    grep -q "where id='$ZT_DEMO_USER' AND password2 = '$hash'" "$work/general.log" ||
        win_e2e_fail "the database saw no login of $ZT_DEMO_USER with the typed password's hash"
    ! grep -qF "$ZT_DEMO_PASSWORD" "$work/general.log" ||
        win_e2e_fail "the database's log holds the typed password itself"
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
}

# Second start: no update again; the saved password logs in with no key pressed.
win_e2e_saved_password() {
    local t0=$EPOCHREALTIME
    win_e2e_start "$app" "$work/program-2.log"
    win_e2e_wait 60 "the main window, logged in with the saved password" \
        win_e2e_find "^$ZT_WIN_E2E_MAIN_CAPTION v\\."
    log "main window with the saved password after $(win_e2e_since "$t0") s"
    win_e2e_check_caption "$ZT_WIN_E2E_FOUND" "$newer_version"
    [ "$(grep -c 'GET /download/[^ ]*/NorvaQuillet\.exe HTTP' "$work/stack-http.log")" -eq 1 ] ||
        win_e2e_fail "the second start fetched NorvaQuillet.exe again"
    win_e2e_close "$ZT_WIN_E2E_FOUND"
}

# The system's proxy question never answered: Internet Options name a PAC script on a server that takes the
# connection and says nothing (a hung WPAD or PAC server). Each wait is skipped as a person would ("건너뛰기" is the
# wait window's default button, the message's OK too); the server list is asked for by name, as the system sends no
# loopback address through a proxy. Closing the main window while the question still runs ends the program at once.
win_e2e_end_while_question_hangs() {
    local pac="$work/pac.log" port="" n w
    python3 -c 'import socket
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(8); print(s.getsockname()[1], flush=True); held = []
while True: held.append(s.accept()[0]); print("asked", flush=True)' >"$pac" 2>&1 &
    add_cleanup "kill $! 2>/dev/null"
    for ((n = 0; n < 50; n++)); do
        sleep 0.1
        port=$(head -n 1 "$pac")
        [ -z "$port" ] || break
    done
    win_e2e_internet_settings "http://127.0.0.1:$port/proxy.pac"
    # shellcheck disable=SC2154 # set by stack-http.sh
    ZT_SERVER_LIST_URL="http://localhost:$zt_http_port" win_e2e_start "$app" "$work/program-question.log"
    for ((n = 0; n < 600; n++)); do
        win_e2e_find "^$ZT_WIN_E2E_MAIN_CAPTION v\\." && break
        win_e2e_ended "$ZT_WIN_E2E_PID" && win_e2e_fail "the program ended before its main window, its waits skipped"
        for w in $(xdotool search --onlyvisible --name '^(NorvaQuillet|RendloV1)$' 2>/dev/null || true); do
            xdotool windowactivate --sync "$w" >/dev/null 2>&1 || true
            xdotool key --clearmodifiers Return
        done
        sleep 0.2
    done
    [ -n "$ZT_WIN_E2E_FOUND" ] || win_e2e_fail "no main window within 120 s, every wait skipped"
    grep -q asked "$pac" || win_e2e_fail "the program never asked the system for the PAC script"
    win_e2e_close "$ZT_WIN_E2E_FOUND" 2
    log "with the system's proxy question unanswered, the program ended at once after its main window closed"
    win_e2e_internet_settings
}

# The newer exe alone in an empty folder: no DLL missing, it reaches its first window.
win_e2e_lone_exe() {
    local lone="$work/lone exe" t0
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
}

# The package in a new folder, offered the newer build with another key's signature: the version checker
# fetches it, the program refuses it (its one message, answered by the UI record), and its own build goes on to
# the login dialog.
win_e2e_refused_update() {
    local refused="$work/refused/업무 도구" record="$work/refused.jsonl" t0=$EPOCHREALTIME
    mkdir -p "$refused"
    cp -R "$program_dir/." "$refused/"
    minisign -G -W -p "$work/other.pub" -s "$work/other.key" >/dev/null
    minisign -S -s "$work/other.key" -m "$zt_http_updates/NorvaQuillet.exe" \
        -x "$zt_http_updates/NorvaQuillet.exe.minisig" >/dev/null
    ZT_UI_RECORD="$(winepath -w "$record")" win_e2e_start "$refused" "$work/program-4.log"
    win_e2e_wait 90 "the package's login dialog after the refused update" \
        win_e2e_find "^$ZT_WIN_E2E_LOGIN_CAPTION\$"
    log "refused update: the package's login dialog after $(win_e2e_since "$t0") s"
    grep -q 'New_NorvaQuillet.exe의 서명이 확인되지 않아 받은 파일을 버렸습니다' "$record" ||
        win_e2e_fail "no message that New_NorvaQuillet.exe's signature did not verify; shown:"$'\n'"$(cat "$record")"
    [ ! -e "$refused/New_NorvaQuillet.exe" ] || win_e2e_fail "the refused New_NorvaQuillet.exe was left"
    cmp -s "$program_dir/NorvaQuillet.exe" "$refused/NorvaQuillet.exe" ||
        win_e2e_fail "the refused update replaced NorvaQuillet.exe"
    win_e2e_close "$ZT_WIN_E2E_FOUND"
}

# A copy of the updated folder, offered the publisher's own signed replacer as the version checker, announced as
# the newest (its ".minisig" served with it): the signature names Swapnik.exe, so nothing is kept and no checker
# runs; the program says why and goes on to its login dialog, every file in the folder as it was. The update
# folder is put back as it was afterwards.
win_e2e_swapped_checker() {
    local swapped="$work/swapped/업무 도구" record="$work/swapped.jsonl" kept="$work/published" t0=$EPOCHREALTIME
    local fetches='GET /download/[^ ]*/RendloV1\.exe HTTP' before
    before=$(grep -c "$fetches" "$work/stack-http.log" || true)
    mkdir -p "$swapped" "$kept"
    cp -R "$app/." "$swapped/"
    cp "$zt_http_updates"/RendloV1* "$kept/"
    cp "$zt_http_updates/Swapnik.exe" "$zt_http_updates/RendloV1.exe"
    cp "$zt_http_updates/Swapnik.exe.minisig" "$zt_http_updates/RendloV1.exe.minisig"
    printf '999\r\n' >"$zt_http_updates/RendloV1_lastver.txt"
    ZT_UI_RECORD="$(winepath -w "$record")" win_e2e_start "$swapped" "$work/program-5.log"
    win_e2e_wait 90 "the login dialog after the replacer offered as the checker" \
        win_e2e_find "^$ZT_WIN_E2E_LOGIN_CAPTION\$"
    log "swapped checker: the login dialog after $(win_e2e_since "$t0") s"
    if ! grep -qF 'RendloV1.exe의 서명이 확인되지 않아 받은 파일을 버렸습니다' "$record" ||
        ! grep -qF '다른 파일(Swapnik.exe)의 서명입니다' "$record"; then
        win_e2e_fail "no message that RendloV1.exe was signed as Swapnik.exe; shown:"$'\n'"$(cat "$record")"
    fi
    [ "$(grep -c "$fetches" "$work/stack-http.log")" -gt "$before" ] ||
        win_e2e_fail "the program did not fetch the RendloV1.exe offered"
    win_e2e_close "$ZT_WIN_E2E_FOUND"
    diff -r "$app" "$swapped" >&2 || win_e2e_fail "the swapped checker changed the program folder (above)"
    cp "$kept"/* "$zt_http_updates/"
}
