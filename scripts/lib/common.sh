# Shared by the project's scripts: paths, the packages the project needs, the build.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD_DIR="${ZT_BUILD_DIR:-$ROOT/build}"

# Everything comes from Debian 12 packages.
ZT_PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-translations-l10n
    libcurl4-openssl-dev libmariadb-dev
    libcpp-httplib-dev libbenchmark-dev
    clang libclang-rt-14-dev clang-format
    mariadb-server mariadb-client
    xvfb xauth x11-utils imagemagick fonts-noto-cjk
    python3 curl
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

# Fails, naming the files, when a C++ source differs from what the committed .clang-format makes of it.
check_format() {
    log "checking the format of the C++ sources"
    local files
    mapfile -t files < <(git -C "$ROOT" ls-files '*.cpp' '*.h')
    if ! (cd "$ROOT" && clang-format --dry-run --Werror "${files[@]}"); then
        log "some sources are not formatted: run  clang-format -i \$(git ls-files '*.cpp' '*.h')"
        return 1
    fi
}

build_project() {
    log "configuring in $BUILD_DIR"
    cmake -S "$ROOT" -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    log "building"
    cmake --build "$BUILD_DIR" --parallel "$(nproc)"
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
