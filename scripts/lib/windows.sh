# shellcheck shell=bash
# The Windows cross build: MinGW-w64, Wine, and the Windows builds of Qt, libcurl and MariaDB Connector/C,
# made from Debian's source packages into a cache outside the tree. Sourced after common.sh.

ZT_WIN_CACHE="${ZT_WIN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/norvaquillet-win}"
ZT_WIN_TOOLCHAIN="$ROOT/cmake/mingw-w64-x86_64.cmake"
ZT_WIN_TRIPLET=x86_64-w64-mingw32

ZT_WIN_PACKAGES=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
    wine64 wine
    dpkg-dev cmake ninja-build pkg-config perl python3
    qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
    binutils-mingw-w64-x86-64
)

# The MinGW runtime a program and the Qt DLLs load.
ZT_WIN_RUNTIME_DLLS=(libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)

win_ensure_packages() {
    # shellcheck disable=SC2034 # read by ensure_packages
    local ZT_PACKAGES=("${ZT_WIN_PACKAGES[@]}")
    ensure_packages
}

win_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# apt-get source needs deb-src entries. Without any, mirror the machine's own Debian entries (same
# addresses, suites, components and keys) as deb-src, in whichever of apt's two forms each came in.
win_ensure_deb_src() {
    local codename f files=() stanzas="" lines=""
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ ! -f "$f" ] || files+=("$f")
    done
    if [ ${#files[@]} -gt 0 ] && grep -Eqs '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' "${files[@]}"; then
        return 0
    fi
    for f in "${files[@]}"; do
        case "$f" in
        *.sources)
            stanzas+=$(awk -v codename="$codename" '
                function flush() {
                    if (n > 0 && isdeb && suiteok && enabled) {
                        print "Types: deb-src"
                        for (i = 1; i <= n; i++) if (lines[i] !~ /^(Types:|#)/) print lines[i]
                        print ""
                    }
                    n = 0; isdeb = 0; suiteok = 0; enabled = 1
                }
                BEGIN { enabled = 1 }
                /^[ \t]*$/ { flush(); next }
                {
                    lines[++n] = $0
                    if ($1 == "Types:") for (i = 2; i <= NF; i++) if ($i == "deb") isdeb = 1
                    if ($1 == "Suites:") for (i = 2; i <= NF; i++) if (index($i, codename) == 1) suiteok = 1
                    if ($1 == "Enabled:" && tolower($2) == "no") enabled = 0
                }
                END { flush() }' "$f")$'\n\n'
            ;;
        *)
            # "deb [options] URI SUITE COMPONENT..."
            lines+=$(awk -v codename="$codename" '
                $1 == "deb" {
                    i = 2
                    if ($2 ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                    if (index($(i + 1), codename) != 1) next
                    sub(/^deb/, "deb-src"); print
                }' "$f")$'\n'
            ;;
        esac
    done
    if ! grep -q 'deb-src' <<<"$stanzas$lines"; then
        log "no Debian $codename entry in the apt sources to mirror as deb-src"
        return 1
    fi
    log "adding deb-src entries for Debian $codename to /etc/apt/sources.list.d/zt-deb-src.*"
    if grep -q 'deb-src' <<<"$stanzas"; then
        printf '%s\n' "$stanzas" | cat -s | sed '${/^$/d}' | win_sudo tee /etc/apt/sources.list.d/zt-deb-src.sources >/dev/null
    fi
    if grep -q 'deb-src' <<<"$lines"; then
        printf '%s\n' "$lines" | grep . | win_sudo tee /etc/apt/sources.list.d/zt-deb-src.list >/dev/null
    fi
    win_sudo apt-get update -qq
}

# Source versions worth trying for a binary package, newest first: the one its candidate comes from, then
# the others the deb-src index lists (a mirror may list a source it does not hold).
win_source_versions() {
    local binpkg=$1 srcpkg=$2 list=() v i j
    list+=("$(apt-cache show --no-all-versions "$binpkg" | awk '
        /^Version:/ { v = $2 }
        /^Source:/ && NF >= 3 { sv = $3; gsub(/[()]/, "", sv) }
        END { print (sv != "" ? sv : v) }')")
    local others=()
    mapfile -t others < <(apt-cache showsrc "$srcpkg" | awk '/^Version:/ { print $2 }')
    for ((i = 0; i < ${#others[@]}; i++)); do
        for ((j = i + 1; j < ${#others[@]}; j++)); do
            if dpkg --compare-versions "${others[j]}" gt "${others[i]}"; then
                v=${others[i]}; others[i]=${others[j]}; others[j]=$v
            fi
        done
    done
    for v in "${others[@]}"; do
        [ "$v" = "${list[0]}" ] || list+=("$v")
    done
    printf '%s\n' "${list[@]}"
}

# Downloads (does not build) a Debian source package once; ZT_WIN_DSC names its .dsc, ZT_WIN_FETCH_ERR
# holds apt's complaint when it fails.
win_fetch_source() {
    local pkg=$1 version=$2
    local dir="$ZT_WIN_CACHE/src/${pkg}_${version#*:}"
    if [ ! -f "$dir/.complete" ]; then
        log "downloading the Debian source of $pkg $version"
        rm -rf "$dir"
        mkdir -p "$dir"
        # Root downloads without apt's sandbox user, who could not write here.
        if ! ZT_WIN_FETCH_ERR=$(cd "$dir" && apt-get source -qq --download-only \
            -o APT::Sandbox::User=root "$pkg=$version" 2>&1); then
            rm -rf "$dir"
            return 1
        fi
        touch "$dir/.complete"
    fi
    local dscs=("$dir"/*.dsc)
    ZT_WIN_DSC=${dscs[0]}
}

# The folder name a build is kept under: what it is, its version, and a hash of everything that shapes it
# (toolchain file, recipe, compiler and MinGW headers), so a change to any of them builds it afresh.
win_dep_key() {
    local name=$1 version=$2 recipe=$3 hash
    hash=$({
        cat "$ZT_WIN_TOOLCHAIN"
        declare -f "$recipe" "${recipe}_fixup" 2>/dev/null || true
        dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
        echo "$version"
    } | sha256sum | cut -c1-10)
    echo "$name-${version#*:}-$hash"
}

# Builds one dependency into $ZT_WIN_CACHE/<key> unless a finished build is there; ZT_WIN_BUILT names it.
# (Not a $(...) call: the cleanup registered here must reach the script's exit trap.) The first of the
# given source versions that is built already or can be downloaded wins; one the mirror does not hold is
# remembered for a week. The build happens in a scratch folder and moves into place only once it has
# succeeded, so a folder with its stamp is always whole.
win_build_dep() {
    local name=$1 srcpkg=$2 recipe=$3
    shift 3
    local version key dest found=""
    mkdir -p "$ZT_WIN_CACHE/src"
    find "$ZT_WIN_CACHE/src" -maxdepth 1 -name '*.unavailable' -mtime +6 -delete
    for version; do
        [ -n "$version" ] || continue
        key=$(win_dep_key "$name" "$version" "$recipe")
        dest="$ZT_WIN_CACHE/$key"
        ZT_WIN_BUILT=$dest
        if [ -f "$dest/.zt-built" ]; then
            return 0
        fi
        local missing="$ZT_WIN_CACHE/src/${srcpkg}_${version#*:}.unavailable"
        [ ! -f "$missing" ] || continue
        if win_fetch_source "$srcpkg" "$version"; then
            found=1
            break
        fi
        printf '%s\n' "$ZT_WIN_FETCH_ERR" | grep -m 1 '^E:' >&2 || true
        log "the source of $srcpkg $version cannot be downloaded; trying an older one"
        touch "$missing"
    done
    if [ -z "$found" ]; then
        log "no source of $srcpkg could be downloaded (tried: $*)"
        return 1
    fi
    local dsc=$ZT_WIN_DSC work logfile
    work="$ZT_WIN_CACHE/tmp/$key"
    logfile="$ZT_WIN_CACHE/logs/$key.log"
    rm -rf "$work" "$dest"
    mkdir -p "$work" "$ZT_WIN_CACHE/logs"
    add_cleanup "rm -rf '$work'"
    log "building $name $version for Windows with $(nproc) jobs (log: $logfile)"
    local start=$SECONDS status=0
    set +e
    (
        set -euo pipefail
        unset ZT_WIN_DEPS ZT_WINEPREFIX
        # apt already checked the files against the signed index.
        dpkg-source --no-check -x "$dsc" "$work/src"
        "$recipe" "$work/src" "$work/build" "$dest"
        DESTDIR="$work/stage" cmake --install "$work/build" --strip
        if declare -F "${recipe}_fixup" >/dev/null; then
            "${recipe}_fixup" "$work/stage$dest"
        fi
    ) >"$logfile" 2>&1
    status=$?
    set -e
    if [ $status -ne 0 ]; then
        # The first error says most (ninja goes on with other jobs after it), the end where it stopped.
        grep -m 1 -B 2 -A 8 -E '^FAILED:|CMake Error|error:' "$logfile" >&2 || true
        echo "[...]" >&2
        tail -n 15 "$logfile" >&2
        log "building $name failed (exit $status); the whole log is $logfile"
        return 1
    fi
    local stage="$work/stage$dest"
    win_relocate_pc_files "$stage" "$dest"
    printf '%s %s: built in %d s\n' "$name" "$version" $((SECONDS - start)) >"$stage/.zt-built"
    mv -T "$stage" "$dest"
    rm -rf "$work"
    log "$name $version built in $((SECONDS - start)) s"
    # Builds of other versions, their logs and the downloaded source are no longer needed.
    local old
    for old in "$ZT_WIN_CACHE/$name-"* "$ZT_WIN_CACHE/logs/$name-"*.log; do
        [ "$old" = "$dest" ] || [ "$old" = "$logfile" ] || rm -rf "$old"
    done
    rm -rf "$(dirname "$dsc")"
}

# pkg-config files name their prefix relative to where they are, so the builds can be combined into one
# prefix anywhere.
win_relocate_pc_files() {
    local root=$1 prefix=$2 pc
    shopt -s nullglob
    for pc in "$root"/lib/pkgconfig/*.pc; do
        sed -i "s|$prefix|\${pcfiledir}/../..|g" "$pc"
    done
    shopt -u nullglob
}

# --- recipes: SOURCE BUILD PREFIX; configure and build, the caller installs. A <recipe>_fixup, if there
# is one, then tidies the installed tree (given as its argument). ---

# Debian's tarball leaves out the tablet header the Windows platform plugin wants (tabletevent off). Without
# OpenGL, dynamic GL must be off too or the plugin does not compile. The Direct2D plugin stays: without it
# Qt 6.4.2 leaves out a font database the Windows plugin still links against.
win_recipe_qt() {
    cmake -S "$1" -B "$2" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ZT_WIN_TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$3" \
        -DQT_HOST_PATH=/usr \
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
        -DBUILD_SHARED_LIBS=ON \
        -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
        -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF \
        -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_openssl=OFF -DFEATURE_icu=OFF \
        -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF \
        -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF \
        -DFEATURE_tabletevent=OFF
    cmake --build "$2" --parallel "$(nproc)"
}

# libcurl as a DLL with Windows' own TLS (Schannel) and authentication (SSPI), nothing else from outside.
win_recipe_curl() {
    cmake -S "$1" -B "$2" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ZT_WIN_TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$3" \
        -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
        -DCURL_ENABLE_SSL=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON \
        -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none \
        -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF \
        -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF \
        -DCURL_USE_GSSAPI=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON
    cmake --build "$2" --parallel "$(nproc)"
}

# MariaDB Connector/C from the server's source package, built on its own: the client library as a DLL
# (LGPL), TLS through Schannel, the authentication plugins a server may ask for linked in so that no plugin
# folder has to ship; nothing that needs OpenSSL, curl or Kerberos.
win_recipe_mariadb() {
    cmake -S "$1/libmariadb" -B "$2" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ZT_WIN_TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$3" \
        -DINSTALL_BINDIR=bin -DINSTALL_LIBDIR=lib -DINSTALL_INCLUDEDIR=include/mariadb \
        -DINSTALL_PCDIR=lib/pkgconfig -DINSTALL_PLUGINDIR=lib/mariadb/plugin \
        -DWITH_SSL=SCHANNEL -DWITH_UNIT_TESTS=OFF -DWITH_CURL=OFF -DWITH_EXTERNAL_ZLIB=OFF \
        -DWITH_DYNCOL=ON -DWITH_MSI=OFF \
        -DCLIENT_PLUGIN_CACHING_SHA2_PASSWORD=STATIC -DCLIENT_PLUGIN_SHA256_PASSWORD=STATIC \
        -DCLIENT_PLUGIN_CLIENT_ED25519=STATIC -DCLIENT_PLUGIN_PVIO_SHMEM=STATIC \
        -DCLIENT_PLUGIN_DIALOG=OFF -DCLIENT_PLUGIN_MYSQL_CLEAR_PASSWORD=OFF \
        -DCLIENT_PLUGIN_AUTH_GSSAPI_CLIENT=OFF -DCLIENT_PLUGIN_REMOTE_IO=OFF -DCLIENT_PLUGIN_ZSTD=OFF
    cmake --build "$2" --parallel "$(nproc)"
}

# Windows builds of the connector install no pkg-config file and leave the DLL beside an oddly named
# import library: lay it out as everything else is (DLL in bin/, lib/libmariadb.dll.a) and describe it.
win_recipe_mariadb_fixup() {
    local p=$1 version
    mkdir -p "$p/bin" "$p/lib/pkgconfig"
    mv "$p/lib/libmariadb.dll" "$p/bin/"
    mv "$p/lib/liblibmariadb.dll.a" "$p/lib/libmariadb.dll.a"
    rm -f "$p/lib/libmariadbclient.a"
    version=$(sed -n 's/^#define MARIADB_PACKAGE_VERSION "\(.*\)"/\1/p' "$p/include/mariadb/mariadb_version.h")
    [ -n "$version" ]
    cat >"$p/lib/pkgconfig/libmariadb.pc" <<PC
prefix=\${pcfiledir}/../..
includedir=\${prefix}/include/mariadb
libdir=\${prefix}/lib

Name: libmariadb
Version: $version
Description: MariaDB Connector/C dynamic library
Cflags: -I\${includedir}
Libs: -L\${libdir} -lmariadb
Libs.private: -lws2_32 -ladvapi32 -lshlwapi -lcrypt32 -lsecur32 -lbcrypt
PC
}

# cpp-httplib for the tests' local HTTP servers, compiled as Debian compiles it (one library beside the
# header), static, plain HTTP only.
win_recipe_httplib() {
    cmake -S "$1" -B "$2" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$ZT_WIN_TOOLCHAIN" \
        -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$3" \
        -DHTTPLIB_COMPILE=ON -DBUILD_SHARED_LIBS=OFF \
        -DHTTPLIB_USE_OPENSSL_IF_AVAILABLE=OFF -DHTTPLIB_USE_ZLIB_IF_AVAILABLE=OFF \
        -DHTTPLIB_USE_BROTLI_IF_AVAILABLE=OFF
    cmake --build "$2" --parallel "$(nproc)"
}

# The upstream build installs CMake files only; the project asks pkg-config, as on Linux.
win_recipe_httplib_fixup() {
    local p=$1 version
    version=$(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$p/include/httplib.h")
    [ -n "$version" ]
    mkdir -p "$p/lib/pkgconfig"
    cat >"$p/lib/pkgconfig/cpp-httplib.pc" <<PC
prefix=\${pcfiledir}/../..
includedir=\${prefix}/include
libdir=\${prefix}/lib

Name: cpp-httplib
Description: A C++ HTTP/HTTPS server and client library
Version: $version
Cflags: -I\${includedir}
Libs: -L\${libdir} -lhttplib -lws2_32 -lcrypt32
PC
}

# Qt's own build tools come from the host, so the Windows Qt is built from the same upstream version as
# the installed qt6-base-dev-tools: its source first, then any other Debian revision of that version.
win_qt_versions() {
    local host v
    host=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
    echo "$host"
    apt-cache showsrc qt6-base | awk '/^Version:/ { print $2 }' | while read -r v; do
        [ "$v" = "$host" ] || [ "${v%-*}" != "${host%-*}" ] || echo "$v"
    done
}

# One prefix for the toolchain file's ZT_WIN_DEPS: the builds given (as hard links, so it costs no room)
# and the MinGW runtime DLLs in bin/. Sets ZT_WIN_DEPS; $ZT_WIN_CACHE/deps links to it.
win_assemble_prefix() {
    local dirs=("$@") dlls=() d hash
    for d in "${ZT_WIN_RUNTIME_DLLS[@]}"; do
        dlls+=("$("$ZT_WIN_TRIPLET-g++-posix" -print-file-name="$d")")
    done
    hash=$({
        printf '%s\n' "${dirs[@]##*/}"
        sha256sum "${dlls[@]}" | cut -d' ' -f1
    } | sha256sum | cut -c1-10)
    ZT_WIN_DEPS="$ZT_WIN_CACHE/prefix-$hash"
    if [ ! -f "$ZT_WIN_DEPS/.zt-built" ]; then
        local tmp="$ZT_WIN_CACHE/tmp/prefix-$hash"
        rm -rf "$tmp" "$ZT_WIN_DEPS"
        mkdir -p "$tmp/bin"
        add_cleanup "rm -rf '$tmp'"
        for d in "${dirs[@]}"; do
            cp -al "$d"/* "$tmp/"
        done
        for d in "${dlls[@]}"; do
            cp "$d" "$tmp/bin/"
        done
        cat "${dirs[@]/%//.zt-built}" >"$tmp/.zt-built"
        mv -T "$tmp" "$ZT_WIN_DEPS"
        for d in "$ZT_WIN_CACHE"/prefix-*; do
            [ "$d" = "$ZT_WIN_DEPS" ] || rm -rf "$d"
        done
    fi
    ln -sfn "prefix-$hash" "$ZT_WIN_CACHE/deps"
}

# The Windows dependencies, each built once; small ones first, so that a fault shows early.
win_build_deps() {
    local built=() versions=()
    mapfile -t versions < <(win_source_versions libcurl4 curl)
    win_build_dep curl curl win_recipe_curl "${versions[@]}"
    built+=("$ZT_WIN_BUILT")
    mapfile -t versions < <(win_source_versions libmariadb3 mariadb)
    win_build_dep mariadb mariadb win_recipe_mariadb "${versions[@]}"
    built+=("$ZT_WIN_BUILT")
    mapfile -t versions < <(win_source_versions libcpp-httplib-dev cpp-httplib)
    win_build_dep cpp-httplib cpp-httplib win_recipe_httplib "${versions[@]}"
    built+=("$ZT_WIN_BUILT")
    mapfile -t versions < <(win_qt_versions)
    win_build_dep qt6-base qt6-base win_recipe_qt "${versions[@]}"
    built+=("$ZT_WIN_BUILT")
    win_assemble_prefix "${built[@]}"
}

# A Wine prefix made once (marked ready). Run with WINEDLLOVERRIDES="mscoree,mshtml=", so that a fresh
# prefix does not offer the Mono and Gecko installers.
win_make_prefix() {
    local prefix=$1 out
    if [ -f "$prefix/.zt-ready-direct" ]; then
        return 0
    fi
    log "creating the Wine prefix $prefix"
    rm -rf "$prefix"
    # Internet Options set to a direct connection: without this record Wine assumes automatic proxy
    # detection, and every program that asks the system for a proxy would go looking for one.
    local direct="460000000000000001000000000000000000000000000000$(printf '0%.0s' {1..64})"
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

# The environment the Windows programs and tests run in: quiet, the cache's prefix, the DLLs of the
# dependencies.
win_wine_env() {
    export WINEPREFIX="$ZT_WIN_CACHE/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    export WINEPATH="Z:$ZT_WIN_DEPS/bin"
    win_make_prefix "$WINEPREFIX"
}

# The cross build of the program and its tests in $1 (scripts/windows's build folder).
win_build_project() {
    local dir=$1
    log "cross-building the program and its tests in $dir"
    cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$ZT_WIN_TOOLCHAIN" \
        -DZT_WIN_DEPS="$ZT_WIN_DEPS" -DZT_WINEPREFIX="$WINEPREFIX" -DZT_BUILD_BENCH=OFF >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}

# What the portable folder holds besides NorvaQuillet.exe: the DLLs it loads, and the Qt plugins for the
# screen (qwindows) and the native look (the Windows Vista style); paths below ZT_WIN_DEPS.
ZT_WIN_PACKAGE_FILES=(
    bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Network.dll
    bin/libcurl.dll bin/libmariadb.dll
    "${ZT_WIN_RUNTIME_DLLS[@]/#/bin/}"
    plugins/platforms/qwindows.dll plugins/styles/qwindowsvistastyle.dll
)

# DLLs every Windows PC has: the package may import these without carrying them (the api-ms-win-* names are
# the system's own too).
ZT_WIN_SYSTEM_DLLS=(
    advapi32 authz bcrypt comctl32 comdlg32 crypt32 d2d1 d3d11 d3d9 dnsapi dwmapi dwrite dxgi gdi32 imm32
    iphlpapi kernel32 mpr msvcrt ncrypt netapi32 normaliz ntdll ole32 oleaut32 rpcrt4 secur32 setupapi shcore
    shell32 shlwapi user32 userenv uxtheme version winhttp winmm wldap32 ws2_32 wtsapi32
)

# Every DLL that a program or DLL in folder $1 (plugins included) imports must lie in the folder itself or
# be a system DLL; a missing one would only show on a user's PC. Lists what is missing and fails then.
win_check_imports() {
    local dir=$1 file dll key missing=()
    local -A present=() system=()
    for dll in "${ZT_WIN_SYSTEM_DLLS[@]}"; do
        system[$dll.dll]=1
    done
    for file in "$dir"/*.dll; do
        key=${file##*/}
        present[${key,,}]=1
    done
    while IFS= read -r -d '' file; do
        while read -r dll; do
            key=${dll,,}
            if [ -z "${present[$key]:-}" ] && [ -z "${system[$key]:-}" ] && [[ $key != api-ms-win-* ]]; then
                missing+=("${file#"$dir"/} needs $dll")
            fi
        done < <("$ZT_WIN_TRIPLET-objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
    done < <(find "$dir" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    if [ ${#missing[@]} -gt 0 ]; then
        printf '    %s\n' "${missing[@]}" >&2
        log "the package lacks DLLs its programs import"
        return 1
    fi
}

# dist/NorvaQuillet-M.m.R-win64.zip from the cross build in $1: one portable folder of that name (the
# program updates itself in its own folder, so there is no installer). Leaves the folder beside the zip and
# its path in ZT_WIN_PACKAGE.
win_package() {
    local build=$1 version name file
    version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
    IFS=. read -r -a parts <<<"$version"
    name="NorvaQuillet-${parts[0]}.${parts[1]}.${parts[3]}-win64"
    ZT_WIN_PACKAGE="$ROOT/dist/$name"
    log "packaging dist/$name.zip"
    rm -rf "$ZT_WIN_PACKAGE" "$ZT_WIN_PACKAGE.zip"
    mkdir -p "$ZT_WIN_PACKAGE"
    cp "$build/src/app/NorvaQuillet.exe" "$ZT_WIN_PACKAGE/"
    for file in "${ZT_WIN_PACKAGE_FILES[@]}"; do
        case "$file" in
        plugins/*)
            # Qt looks for its plugins' folders beside the program.
            mkdir -p "$ZT_WIN_PACKAGE/$(dirname "${file#plugins/}")"
            cp "$ZT_WIN_DEPS/$file" "$ZT_WIN_PACKAGE/${file#plugins/}"
            ;;
        *) cp "$ZT_WIN_DEPS/$file" "$ZT_WIN_PACKAGE/" ;;
        esac
    done
    # Debugging information stays in the build; the package carries what runs.
    find "$ZT_WIN_PACKAGE" -type f \( -iname '*.exe' -o -iname '*.dll' \) -exec "$ZT_WIN_TRIPLET-strip" --strip-debug {} +
    win_check_imports "$ZT_WIN_PACKAGE"
    (cd "$ROOT/dist" && cmake -E tar cf "$name.zip" --format=zip "$name")
    log "dist/$name.zip: $(du -k "$ZT_WIN_PACKAGE.zip" | cut -f1) kB"
}
