# shellcheck shell=bash
# Shared by the project's scripts: paths, the packages the project needs, the build.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_DIR="${ZT_BUILD_DIR:-$ROOT/build}"

# Everything comes from Debian 12 packages.
ZT_PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
    libcurl4-openssl-dev libmariadb-dev libsodium-dev minisign
    libcpp-httplib-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    mariadb-server mariadb-client
    xvfb xauth x11-utils imagemagick fonts-noto-cjk
    python3 curl openssl ca-certificates libxml2-utils
)

log() { printf '\033[1m== %s\033[0m\n' "$*" >&2; }

ensure_packages() {
    local missing=()
    for pkg in "${ZT_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    log "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    # Package scripts must not start services here: tests and the run start their own.
    $sudo apt-get install -y -qq "${missing[@]}"
}

# Fails, naming the files, when a C++ source differs from what the committed .clang-format makes of it. The
# sources are the ones git tracks; outside a git checkout (an unpacked archive), the .cpp and .h files below
# the project's source folders. No files at all is a failure: clang-format would read its standard input.
check_format() {
    log "checking the format of the C++ sources"
    local files
    if [ "$(git -C "$ROOT" rev-parse --show-toplevel 2>/dev/null)" = "$ROOT" ]; then
        mapfile -t files < <(git -C "$ROOT" ls-files '*.cpp' '*.h')
    else
        mapfile -t files < <(cd "$ROOT" && find src tests tools bench fuzz -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
    fi
    zt_require_value "${files[*]}" "C++ sources to check in $ROOT" || return 1
    if ! (cd "$ROOT" && clang-format --dry-run --Werror "${files[@]}" </dev/null); then
        log "some sources are not formatted: run  clang-format -i \$(git ls-files '*.cpp' '*.h')"
        return 1
    fi
}

# zt_configure PRESET DIR [CMAKE ARGUMENTS...]: configures DIR with a configure preset of CMakePresets.json.
# DIR takes the place of the preset's binaryDir (so ZT_BUILD_DIR and the like keep working); the arguments
# come after the preset and win over it (-DCMAKE_CXX_COMPILER_LAUNCHER=ccache, -DZT_REVISION=...).
zt_configure() {
    local preset=$1 dir=$2
    shift 2
    log "configuring in $dir (preset $preset)"
    cmake --preset "$preset" -S "$ROOT" -B "$dir" "$@" >/dev/null
}

# The compiler launchers (ccache) the build in DIR (default $BUILD_DIR) was configured with, as -D arguments,
# one a line: the other builds of the same sources (newer, fuzz) take them over.
zt_build_launchers() {
    local cache="${1:-$BUILD_DIR}/CMakeCache.txt"
    [ -f "$cache" ] || return 0
    sed -n 's/^\(CMAKE_C\(XX\)\{0,1\}_COMPILER_LAUNCHER\):[A-Z]*=\(..*\)$/-D\1=\3/p' "$cache"
}

# zt_update_key DIR: prints the public key line of the build in DIR's throw-away minisign key pair
# (DIR/update-key/minisign.key and .pub, made once, unencrypted: it signs only what the local update server
# publishes), which the build is configured with (ZT_UPDATE_PUBLIC_KEYS).
zt_update_key() {
    local keys="$1/update-key"
    if [ ! -f "$keys/minisign.key" ]; then
        mkdir -p "$keys"
        minisign -G -W -f -p "$keys/minisign.pub" -s "$keys/minisign.key" >/dev/null
    fi
    sed -n 2p "$keys/minisign.pub"
}

# The Linux build in $BUILD_DIR, with the arguments for its configure step; it verifies downloads with the
# build's throw-away key.
build_project() {
    local key
    key="$(zt_update_key "$BUILD_DIR")"
    zt_configure default "$BUILD_DIR" -DZT_UPDATE_PUBLIC_KEYS="$key" "$@"
    log "building"
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
}

# zt_require_value VALUE WHAT: fails, saying what was empty, when VALUE is empty (a bare [ -n ] under set -e
# would end the script without a word).
zt_require_value() {
    [ -n "$1" ] && return 0
    log "$2: found nothing"
    return 1
}

# zt_step WHAT: a step of the script begins (and the one before ends); zt_report_steps lists how long each took
# and the whole, so that the scripts measure their own times.
ZT_STEPS=()
zt_step() { ZT_STEPS+=("$SECONDS $*"); }
zt_report_steps() {
    local i start next what
    for ((i = 0; i < ${#ZT_STEPS[@]}; i++)); do
        read -r start what <<<"${ZT_STEPS[$i]}"
        next=$SECONDS
        [ $((i + 1)) -ge ${#ZT_STEPS[@]} ] || read -r next _ <<<"${ZT_STEPS[$((i + 1))]}"
        printf '%6d s  %s\n' $((next - start)) "$what" >&2
    done
    printf '%6d s  in all\n' "$SECONDS" >&2
}

# zt_start_display [--window-manager]: an Xvfb of its own on the display number it picks itself (-displayfd,
# so two runs never reach for the same one), exported as DISPLAY; with --window-manager also openbox, so that
# windows get frames and captions. Every wait is bounded; both stop when the script ends (add_cleanup).
zt_start_display() {
    local wm=${1:-} dir pid n number=""
    dir="$(mktemp -d /tmp/zt-display.XXXXXX)"
    add_cleanup "rm -rf $(printf %q "$dir")"
    : >"$dir/display"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    pid=$!
    add_cleanup "kill $pid 2>/dev/null"
    # Xvfb writes the number and a line end once it accepts clients; read fails on a line not yet ended.
    for ((n = 0; n < 200; n++)); do
        if read -r number <"$dir/display" && [ -n "$number" ]; then
            break
        fi
        number=""
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -z "$number" ]; then
        cat "$dir/xvfb.log" >&2
        log "Xvfb did not start"
        return 1
    fi
    export DISPLAY=":$number"
    [ "$wm" = --window-manager ] || return 0

    openbox --sm-disable >"$dir/openbox.log" 2>&1 &
    add_cleanup "kill $! 2>/dev/null"
    for ((n = 0; n < 100; n++)); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
        sleep 0.1
    done
    cat "$dir/openbox.log" >&2
    log "openbox did not start on $DISPLAY"
    return 1
}

# Commands run when the script ends, whatever happens, last added first.
ZT_CLEANUP=()
add_cleanup() { ZT_CLEANUP+=("$1"); }
run_cleanup() {
    local i
    for ((i = ${#ZT_CLEANUP[@]} - 1; i >= 0; i--)); do
        eval "${ZT_CLEANUP[$i]}" || true
    done
}
trap run_cleanup EXIT
# A signal goes through exit so that the cleanup runs then too.
trap "exit 130" INT
trap "exit 143" TERM
