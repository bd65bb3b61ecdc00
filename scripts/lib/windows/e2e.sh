# shellcheck shell=bash disable=SC2034 # what is set here is read by e2e-stack.sh, e2e-scenarios.sh and e2e-steps.sh
# The Windows program from start to main window, under Wine on a virtual display, against the local stack
# (zt_stack_db_start, zt_stack_http_start), as a company PC meets a new release: the packaged program, unpacked
# into a folder named "업무 도구 (x86)", fetches the server list and the sibling tools; the update server offers
# a newer build, which the version checker fetches as New_NorvaQuillet.exe; the program hands over to the
# replacer and ends, the replacer puts the newer build in its place and starts it; its login dialog appears,
# the password is typed and saved, and its main window shows the new revision. A second start then logs in
# with the saved password alone and does not update again. A third start meets a system whose proxy question is
# never answered (a PAC script on a server that says nothing): its waits skipped, it reaches the main window, and
# closing that ends it at once. Then the newer exe alone in an empty folder
# reaches its login dialog: nothing it needs is missing. Then the package in a folder of its own meets an
# update whose signature on the server is another key's: it is refused, said, and the package's own build
# goes on to its login dialog. And a copy of the updated folder meets the publisher's signed replacer served
# as the version checker: refused (its signature names another file), said, every file left as it was. Every
# program the update server publishes is signed with the key in ZT_STACK_SIGNING_KEY, which the package
# verifies against. Sourced by windows.sh; the run needs testdb.sh,
# stack-db.sh and stack-http.sh sourced too, and the packages of ZT_WIN_TEST_PACKAGES.
#
#   win_e2e PROGRAM_DIR NEWER_EXE TOOLS_DIR MAC_EXE SHOTS_DIR
#
# PROGRAM_DIR is the unpacked package; NEWER_EXE the same sources built with the next revision. TOOLS_DIR
# holds the Windows builds of RendloV1.exe, Swapnik.exe and Palvex.exe the update server offers; MAC_EXE is
# the Windows build of zt_machine_mac. The pictures of the newer build's login dialog and main window go to
# SHOTS_DIR as windows-login.png and windows-main.png.
#
# The run's parts: e2e-stack.sh (the Wine prefix and the local stack), e2e-scenarios.sh (what is tried, one
# function each), e2e-steps.sh (starting, waiting, pictures, failing).
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

    local mac newer_version
    win_e2e_stack
    # A virtual display with a window manager, so that the pictures have frames and captions.
    zt_start_display --window-manager

    win_e2e_update_cycle
    win_e2e_saved_password
    win_e2e_end_while_question_hangs
    win_e2e_lone_exe
    win_e2e_refused_update
    win_e2e_swapped_checker

    log "Windows end-to-end run passed in $((SECONDS - start)) s; pictures in $shots_dir"
}
