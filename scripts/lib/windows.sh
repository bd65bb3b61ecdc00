# shellcheck shell=bash
# The Windows cross build: MinGW-w64, Wine, and static Windows builds of Qt, libcurl and MariaDB
# Connector/C made from Debian's source packages into a cache outside the tree. Sourced after common.sh and
# newer-build.sh.
#   windows/debian-source.sh  deb-src entries, source versions, downloads
#   windows/deps.sh           the cache, the build of each recipe, or the prefix the user gives (ZT_WIN_DEPS)
#   windows/recipes/*.sh      one recipe per dependency (data)
#   windows/wine.sh           the Wine prefix
#   windows/imports.sh        the checks of a package's programs: system DLLs only, the manifest
#   windows/sign.sh           Authenticode signatures (osslsigncode), and a throw-away certificate for the tests
#   windows/project.sh        the cross build of the project, the zip, the newer-revision build (relinked)
#   windows/e2e.sh            the packaged program updating itself under Wine (scripts/windows --test), with
#                             e2e-stack.sh, e2e-scenarios.sh and e2e-steps.sh

ZT_WIN_LIB="$ROOT/scripts/lib/windows"
ZT_WIN_CACHE="${ZT_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/norvaquillet-win}"
# shellcheck disable=SC2034 # read by the parts below
{
    ZT_WIN_TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
    ZT_WIN_TRIPLET=x86_64-w64-mingw32
}

ZT_WIN_PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine64 wine
    dpkg-dev cmake ninja-build pkg-config perl python3 autoconf automake libtool
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    osslsigncode openssl lld minisign
)
# What the tests under Wine add: the throw-away MariaDB, and the end-to-end run's display, window manager,
# keyboard and pictures.
ZT_WIN_TEST_PACKAGES=(
    mariadb-server mariadb-client
    xvfb xauth xdotool x11-utils openbox imagemagick fonts-noto-cjk binutils
)

source "$ZT_WIN_LIB/debian-source.sh"
source "$ZT_WIN_LIB/deps.sh"
source "$ZT_WIN_LIB/wine.sh"
source "$ZT_WIN_LIB/imports.sh"
source "$ZT_WIN_LIB/sign.sh"
source "$ZT_WIN_LIB/project.sh"
source "$ZT_WIN_LIB/e2e-steps.sh"
source "$ZT_WIN_LIB/e2e-stack.sh"
source "$ZT_WIN_LIB/e2e-scenarios.sh"
source "$ZT_WIN_LIB/e2e.sh"

# win_ensure_packages [--test]: the build's packages, with --test the tests' as well, in one go.
win_ensure_packages() {
    # shellcheck disable=SC2034 # read by ensure_packages
    local ZT_PACKAGES=("${ZT_WIN_PACKAGES[@]}")
    if [ "${1:-}" = --test ]; then
        ZT_PACKAGES+=("${ZT_WIN_TEST_PACKAGES[@]}")
    fi
    ensure_packages
}

win_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}
