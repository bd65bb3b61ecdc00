# shellcheck shell=bash
# The cross build of the program and its tests, the newer-revision build for the update cycle, the zip, and
# the check that the program relinks against a prefix the user gives. Sourced by windows.sh.

# win_build_project DIR [TARGET...]: the cross build in DIR against $ZT_WIN_DEPS: everything, or the targets
# named.
win_build_project() {
    local dir=$1 targets=()
    shift
    [ $# -eq 0 ] || targets=(--target "$@")
    log "cross-building ${*:-the program and its tests} in $dir against $ZT_WIN_DEPS"
    zt_configure windows "$dir" -DZT_WIN_DEPS="$ZT_WIN_DEPS" -DZT_WINEPREFIX="$WINEPREFIX"
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# The program alone, built from the same sources with the revision after the one of the build in $1, in
# $1/newer (newer-build.sh); NEWER_PROGRAM names the exe.
win_build_newer() {
    zt_build_newer windows-newer "$1" NorvaQuillet.exe -DZT_WIN_DEPS="$ZT_WIN_DEPS"
}

# dist/NorvaQuillet-M.m.R-win64.zip from the cross build in $1 (CPack, from the build's install rules),
# unpacked beside it as a user would unpack it; ZT_WIN_PACKAGE names that folder. With a certificate
# (ZT_SIGN_PFX, sign.sh) the exes are signed after CPack strips them, and the zip is made again from the
# signed folder. Fails when what the zip holds imports a DLL that is neither in it nor part of Windows, or
# when the program lacks its manifest or the terminal-server flag.
win_package() {
    local build=$1 name
    name=$(sed -n 's/^set(CPACK_PACKAGE_FILE_NAME "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
    if [ -z "$name" ]; then
        log "$build/CPackConfig.cmake names no package file: was the build configured with ZT_WIN_DEPS?"
        return 1
    fi
    log "packaging dist/$name.zip"
    ZT_WIN_PACKAGE="$ROOT/dist/$name"
    rm -rf "$ZT_WIN_PACKAGE" "$ZT_WIN_PACKAGE.zip" "$build/package"
    (cd "$build" && cpack --config CPackConfig.cmake -B "$build/package" >/dev/null)
    mkdir -p "$ROOT/dist"
    mv "$build/package/$name.zip" "$ROOT/dist/"
    (cd "$ROOT/dist" && cmake -E tar xf "$name.zip")
    if win_signing; then
        local exe
        for exe in "$ZT_WIN_PACKAGE"/*.exe; do
            win_sign_exe "$exe"
        done
        (cd "$ROOT/dist" && rm "$name.zip" && cmake -E tar cf "$name.zip" --format=zip "$name")
    fi
    win_check_imports "$ZT_WIN_PACKAGE"
    win_check_program_settings "$ZT_WIN_PACKAGE/NorvaQuillet.exe"
    log "dist/$name.zip: $(du -k "$ZT_WIN_PACKAGE.zip" | cut -f1) kB; NorvaQuillet.exe $(du -k "$ZT_WIN_PACKAGE/NorvaQuillet.exe" | cut -f1) kB"
}

# What a folder holds, as names, sizes, times and modes: a change to any file in it changes this.
win_tree_state() {
    (cd "$1" && find . -printf '%p %s %T@ %m\n' | LC_ALL=C sort | sha256sum)
}

# The relinking README promises, tried as a user does it: a copy of the prefix in use, given as ZT_WIN_DEPS,
# links a NorvaQuillet.exe of its own in $1/relink. Nothing in the copy or in the prefix it was copied from
# is written, the build names the copy and not the cache, and the exe imports system DLLs only.
win_relink_check() {
    local work=$1/relink cache_prefix before cache_before
    cache_prefix="$(cd "$ZT_WIN_DEPS" && pwd -P)"
    log "relink check: NorvaQuillet.exe against a copy of $cache_prefix given as ZT_WIN_DEPS"
    rm -rf "$work"
    mkdir -p "$work/exe"
    cp -a "$cache_prefix/." "$work/deps"
    before="$(win_tree_state "$work/deps")"
    cache_before="$(win_tree_state "$cache_prefix")"
    (
        ZT_WIN_DEPS="$work/deps"
        win_resolve_deps
        win_build_project "$work/build" NorvaQuillet
    )
    [ "$(win_tree_state "$work/deps")" = "$before" ] || { log "relink check: the build wrote into the given prefix"; return 1; }
    [ "$(win_tree_state "$cache_prefix")" = "$cache_before" ] || { log "relink check: the cache's prefix changed"; return 1; }
    if grep -F -l -e "$cache_prefix" -e "$ZT_WIN_CACHE/deps" "$work/build/CMakeCache.txt" "$work/build/build.ninja"; then
        log "relink check: the build above names the cache's prefix, not the one given"
        return 1
    fi
    cp "$work/build/src/app/NorvaQuillet.exe" "$work/exe/"
    win_check_imports "$work/exe"
    log "relink check passed: NorvaQuillet.exe linked against the given prefix alone"
    rm -rf "$work"
}
