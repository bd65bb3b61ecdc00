# shellcheck shell=bash
# The cross build of the program and its tests, the zip, and the newer-revision build for the update cycle,
# linked against a prefix given as a user relinks the program. Sourced by windows.sh.

# win_build_project DIR [TARGET...]: the cross build in DIR against $ZT_WIN_DEPS: everything, or the targets
# named; the program verifies downloads with the keys in ZT_UPDATE_PUBLIC_KEYS (none when it is empty, which the
# package's configuration refuses unless ZT_WIN_UNSIGNED is ON).
win_build_project() {
    local dir=$1 targets=()
    shift
    [ $# -eq 0 ] || targets=(--target "$@")
    log "cross-building ${*:-the program and its tests} in $dir against $ZT_WIN_DEPS"
    zt_configure windows "$dir" -DZT_WIN_DEPS="$ZT_WIN_DEPS" -DZT_WINEPREFIX="$WINEPREFIX" \
        -DZT_UPDATE_PUBLIC_KEYS="${ZT_UPDATE_PUBLIC_KEYS:-}" -DZT_UPDATE_UNSIGNED="${ZT_WIN_UNSIGNED:-OFF}"
    cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"
}

# dist/NorvaQuillet-M.m.R-win64.zip from the cross build in $1 (CPack, from the build's install rules),
# unpacked beside it as a user would unpack it; ZT_WIN_PACKAGE names that folder. With a certificate
# (ZT_SIGN_PFX, sign.sh) the exes are signed after CPack strips them, and the zip is made again from the
# signed folder. Fails when what the zip holds imports a DLL that is neither in it nor part of Windows, or
# when the program lacks its manifest or the terminal-server flag, or is larger than ZT_WIN_EXE_LIMIT_KB.
win_package() {
    local build=$1 name kb limit=${ZT_WIN_EXE_LIMIT_KB:-16384}
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
    win_check_no_secrets "$ZT_WIN_PACKAGE"
    win_check_program_settings "$ZT_WIN_PACKAGE/NorvaQuillet.exe"
    kb=$((($(stat -c %s "$ZT_WIN_PACKAGE/NorvaQuillet.exe") + 1023) / 1024))
    log "dist/$name.zip: $(du -k "$ZT_WIN_PACKAGE.zip" | cut -f1) kB; NorvaQuillet.exe $kb kB"
    if [ -f "$build/src/app/NorvaQuillet.map" ]; then
        # Its largest parts, from the link map.
        python3 "$ZT_WIN_LIB/link-map-sizes.py" "$build" --top 0 | sed -n '2,9s/^/    /p'
    fi
    # Every PC downloads the whole exe with each release.
    if [ "$kb" -gt "$limit" ]; then
        log "NorvaQuillet.exe has grown past $limit kB (ZT_WIN_EXE_LIMIT_KB);" \
            "python3 scripts/lib/windows/link-map-sizes.py $build shows what it is made of"
        return 1
    fi
}

# Fails, naming them, when a folder to hand out holds a secret key: a minisign secret key (the tests' throw-away
# update key among them) or a certificate's private key.
win_check_no_secrets() {
    local found
    found="$(grep -rlIs -e 'minisign.*secret key' -e 'PRIVATE KEY' "$1"; find "$1" -iname '*.pfx' -o -iname '*.p12')"
    [ -z "$found" ] && return 0
    log "$1 holds secret keys, which must never be handed out:"$'\n'"$found"
    return 1
}

# What a folder holds, as names, sizes, times and modes: a change to any file in it changes this.
win_tree_state() {
    (cd "$1" && find . -printf '%p %s %T@ %m\n' | LC_ALL=C sort | sha256sum)
}

# The program alone, built from the same sources with the revision after the one of the build in $1, in
# $1/newer (newer-build.sh); NEWER_PROGRAM names the exe. It is built the way README says a user relinks the
# program: against a copy of the prefix in use, given as ZT_WIN_DEPS. Fails if anything in the copy or in
# the prefix it was copied from is written, if the build names the cache and not the copy, or if the exe
# imports more than system DLLs.
win_build_newer() {
    local dir=$1 copy=$1/newer-deps cache_prefix before cache_before
    cache_prefix="$(cd "$ZT_WIN_DEPS" && pwd -P)"
    log "relinking: the newer build against a copy of $cache_prefix given as ZT_WIN_DEPS"
    rm -rf "$copy"
    cp -a "$cache_prefix/." "$copy"
    before="$(win_tree_state "$copy")"
    cache_before="$(win_tree_state "$cache_prefix")"
    (
        ZT_WIN_DEPS="$copy"
        win_resolve_deps
        zt_build_newer windows-newer "$dir" NorvaQuillet.exe -DZT_WIN_DEPS="$ZT_WIN_DEPS"
    )
    NEWER_PROGRAM="$dir/newer/src/app/NorvaQuillet.exe"
    [ "$(win_tree_state "$copy")" = "$before" ] || { log "relinking: the build wrote into the given prefix"; return 1; }
    [ "$(win_tree_state "$cache_prefix")" = "$cache_before" ] || { log "relinking: the cache's prefix changed"; return 1; }
    if grep -F -l -e "$cache_prefix" -e "$ZT_WIN_CACHE/deps" "$dir/newer/CMakeCache.txt" "$dir/newer/build.ninja"; then
        log "relinking: the build above names the cache's prefix, not the one given"
        return 1
    fi
    mkdir -p "$dir/newer/exe"
    cp "$NEWER_PROGRAM" "$dir/newer/exe/"
    win_check_imports "$dir/newer/exe"
    log "relinking passed: the newer NorvaQuillet.exe linked against the given prefix alone"
}
