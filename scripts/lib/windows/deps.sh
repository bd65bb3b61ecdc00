# shellcheck shell=bash disable=SC2154 # the recipe_* variables come from the recipe win_load_recipe reads
# The Windows dependencies: each recipe in recipes/ built once from its Debian source package into the
# cache, then all of them combined into the one prefix the cross build uses. Sourced after debian-source.sh.

ZT_WIN_RECIPES=(curl mariadb cpp-httplib libsodium qt6-base) # small ones first, so that a fault shows early

# Reads recipes/$1.sh into recipe_* (a recipe is data: source package, sub-folder, CMake arguments, licence
# files, and optionally a recipe_fixup of the installed tree, a recipe_versions list, and, for a library not
# built with CMake, a recipe_make SRC BUILD PREFIX STAGE that builds and installs it into STAGE/PREFIX).
win_load_recipe() {
    unset recipe_source recipe_binary recipe_subdir recipe_args recipe_licences
    unset -f recipe_fixup recipe_versions recipe_make
    recipe_name=$1
    recipe_file="$ZT_WIN_LIB/recipes/$1.sh"
    # shellcheck source=/dev/null
    source "$recipe_file"
}

# Every step from the unpacked source SRC to the installed tree STAGE/PREFIX, the same for every recipe:
# configure with the toolchain (static libraries, release), build, install stripped, the recipe's fix-up,
# pkg-config files made relocatable, the licence texts kept. Part of every build's cache key.
win_dep_make() {
    local src=$1 build=$2 prefix=$3 stage=$4
    local root="$stage$prefix" pattern file
    if declare -F recipe_make >/dev/null; then
        recipe_make "$src" "$build" "$prefix" "$stage"
    else
        cmake -S "$src${recipe_subdir:+/$recipe_subdir}" -B "$build" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$ZT_WIN_TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF "${recipe_args[@]}"
        cmake --build "$build" --parallel "$(nproc)"
        DESTDIR="$stage" cmake --install "$build" --strip
    fi
    if declare -F recipe_fixup >/dev/null; then
        recipe_fixup "$root"
    fi
    # Everything in the prefix is static, so a program needs what the libraries need as well; and the
    # files name their prefix relative to where they are, so the builds combine into one prefix anywhere.
    shopt -s nullglob
    for file in "$root"/lib/pkgconfig/*.pc; do
        awk -v prefix="$prefix" '
            {
                rest = $0; $0 = ""
                while ((i = index(rest, prefix)) > 0) {
                    $0 = $0 substr(rest, 1, i - 1) "${pcfiledir}/../.."
                    rest = substr(rest, i + length(prefix))
                }
                $0 = $0 rest
            }
            /^Libs\.private:/ { private = private " " substr($0, 15); next }
            { lines[++n] = $0 }
            END { for (i = 1; i <= n; i++) print (lines[i] ~ /^Libs:/ ? lines[i] private : lines[i]) }
        ' "$file" >"$file.new"
        mv "$file.new" "$file"
    done
    mkdir -p "$root/share/licenses/$recipe_name"
    for pattern in "${recipe_licences[@]}"; do
        # shellcheck disable=SC2206 # the pattern is a glob on purpose
        local matches=("$src"/$pattern)
        for file in "${matches[@]}"; do
            [ ! -f "$file" ] || cp "$file" "$root/share/licenses/$recipe_name/$(tr / _ <<<"${file#"$src"/}")"
        done
    done
    shopt -u nullglob
}

# The folder name a build is kept under: what it is, its version, and a hash of everything that shapes it
# (toolchain file, recipe, the shared steps, compiler and MinGW headers), so a change to any of them builds
# it afresh.
win_dep_key() {
    local version=$1 hash
    hash=$({
        cat "$ZT_WIN_TOOLCHAIN" "$recipe_file"
        declare -f win_dep_make
        dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
        echo "$version"
    } | sha256sum | cut -c1-10)
    echo "$recipe_name-${version#*:}-$hash"
}

# The source versions to try for the loaded recipe, newest first.
win_recipe_versions() {
    if declare -F recipe_versions >/dev/null; then
        recipe_versions
    else
        win_source_versions "$recipe_binary" "$recipe_source"
    fi
}

# Builds the loaded recipe into $ZT_WIN_CACHE/<key> unless a finished build is there; ZT_WIN_BUILT names
# it. (Not a $(...) call: the cleanup registered here must reach the script's exit trap.) The first source
# version that is built already or can be downloaded wins. The build happens in a scratch folder and moves
# into place only once it has succeeded, so a folder with its stamp is always whole.
win_build_dep() {
    local versions=() version key dest dsc=""
    mapfile -t versions < <(win_recipe_versions)
    for version in "${versions[@]}"; do
        [ -n "$version" ] || continue
        key=$(win_dep_key "$version")
        dest="$ZT_WIN_CACHE/$key"
        ZT_WIN_BUILT=$dest
        if [ -f "$dest/.zt-built" ]; then
            return 0
        fi
        if win_fetch_source "$recipe_source" "$version"; then
            dsc=$ZT_WIN_DSC
            break
        fi
    done
    if [ -z "$dsc" ]; then
        log "no source of $recipe_source could be downloaded (tried: ${versions[*]})"
        return 1
    fi
    local work="$ZT_WIN_CACHE/tmp/$key" logfile="$ZT_WIN_CACHE/logs/$key.log"
    rm -rf "$work" "$dest"
    mkdir -p "$work" "$ZT_WIN_CACHE/logs"
    add_cleanup "rm -rf $(printf %q "$work")"
    log "building $recipe_name $version for Windows with $(nproc) jobs (log: $logfile)"
    local start=$SECONDS status=0
    set +e
    (
        set -euo pipefail
        unset ZT_WIN_DEPS ZT_WINEPREFIX
        # apt already checked the files against the signed index.
        dpkg-source --no-check -x "$dsc" "$work/src"
        win_dep_make "$work/src" "$work/build" "$dest" "$work/stage"
    ) >"$logfile" 2>&1
    status=$?
    set -e
    if [ $status -ne 0 ]; then
        # The first error says most (ninja goes on with other jobs after it), the end where it stopped.
        grep -m 1 -B 2 -A 8 -E '^FAILED:|CMake Error|error:' "$logfile" >&2 || true
        echo "[...]" >&2
        tail -n 15 "$logfile" >&2
        log "building $recipe_name failed (exit $status); the whole log is $logfile"
        return 1
    fi
    printf '%s %s: built in %d s\n' "$recipe_name" "$version" $((SECONDS - start)) >"$work/stage$dest/.zt-built"
    mv -T "$work/stage$dest" "$dest"
    rm -rf "$work"
    log "$recipe_name $version built in $((SECONDS - start)) s"
    # Builds of other versions, their logs and the downloaded source are no longer needed.
    local old
    for old in "$ZT_WIN_CACHE/$recipe_name-"* "$ZT_WIN_CACHE/logs/$recipe_name-"*.log; do
        [ "$old" = "$dest" ] || [ "$old" = "$logfile" ] || rm -rf "$old"
    done
    rm -rf "$(dirname "$dsc")"
}

# One prefix for the toolchain file's ZT_WIN_DEPS: the builds given, as hard links, so it costs no room.
# Sets ZT_WIN_DEPS; $ZT_WIN_CACHE/deps links to it.
win_assemble_prefix() {
    local dirs=("$@") d hash
    hash=$(printf '%s\n' "${dirs[@]##*/}" | sha256sum | cut -c1-10)
    ZT_WIN_DEPS="$ZT_WIN_CACHE/prefix-$hash"
    if [ ! -f "$ZT_WIN_DEPS/.zt-built" ]; then
        local tmp="$ZT_WIN_CACHE/tmp/prefix-$hash"
        rm -rf "$tmp" "$ZT_WIN_DEPS"
        mkdir -p "$tmp"
        add_cleanup "rm -rf $(printf %q "$tmp")"
        for d in "${dirs[@]}"; do
            cp -al "$d"/* "$tmp/"
        done
        cat "${dirs[@]/%//.zt-built}" >"$tmp/.zt-built"
        mv -T "$tmp" "$ZT_WIN_DEPS"
        for d in "$ZT_WIN_CACHE"/prefix-*; do
            [ "$d" = "$ZT_WIN_DEPS" ] || rm -rf "$d"
        done
    fi
    ln -sfn "prefix-$hash" "$ZT_WIN_CACHE/deps"
}

# The files a prefix must hold for the cross build: Qt's CMake packages, the pkg-config files of the other
# libraries (cpp-httplib's for the tests), and the licence texts the zip carries (cmake/WindowsPackage.cmake).
ZT_WIN_PREFIX_FILES=(
    lib/cmake/Qt6/Qt6Config.cmake lib/pkgconfig/libcurl.pc lib/pkgconfig/libmariadb.pc lib/pkgconfig/cpp-httplib.pc
    lib/pkgconfig/libsodium.pc
    share/licenses/qt6-base share/licenses/curl share/licenses/mariadb share/licenses/libsodium
)

# The prefix the cross build links against, in ZT_WIN_DEPS. One the user gives (their own static builds of
# these libraries, to relink the program against them) is used as it is: no dependency is built, nothing in
# it is written, and the cache's builds are left alone. Otherwise each recipe is built once into the cache
# and the builds are combined there.
win_resolve_deps() {
    if [ -z "${ZT_WIN_DEPS:-}" ]; then
        win_ensure_deb_src
        win_build_deps
        return
    fi
    local file missing=()
    if ! ZT_WIN_DEPS="$(cd "$ZT_WIN_DEPS" 2>/dev/null && pwd)"; then
        log "ZT_WIN_DEPS names no folder"
        return 1
    fi
    for file in "${ZT_WIN_PREFIX_FILES[@]}"; do
        [ -e "$ZT_WIN_DEPS/$file" ] || missing+=("$file")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        log "ZT_WIN_DEPS=$ZT_WIN_DEPS lacks ${missing[*]} (a prefix as windows/deps.sh builds it holds them)"
        return 1
    fi
    log "linking against the given ZT_WIN_DEPS=$ZT_WIN_DEPS (nothing is built there)"
}

# The Windows dependencies, each built once.
win_build_deps() {
    local built=() name
    for name in "${ZT_WIN_RECIPES[@]}"; do
        win_load_recipe "$name"
        win_build_dep
        built+=("$ZT_WIN_BUILT")
    done
    win_assemble_prefix "${built[@]}"
}
