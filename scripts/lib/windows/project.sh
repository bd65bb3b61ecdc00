# shellcheck shell=bash
# The cross build of the program and its tests, the newer-revision build for the update cycle, and the zip.
# Sourced by windows.sh.

# The cross build of the program and its tests in $1 (scripts/windows's build folder).
win_build_project() {
    local dir=$1
    log "cross-building the program and its tests in $dir"
    zt_configure windows "$dir" -DZT_WIN_DEPS="$ZT_WIN_DEPS" -DZT_WINEPREFIX="$WINEPREFIX"
    cmake --build "$dir" --parallel "$(nproc)"
}

# The program alone, built from the same sources with the revision after the one of the build in $1, in
# $1/newer; WIN_NEWER_PROGRAM names the exe.
win_build_newer() {
    local dir=$1 revision
    revision=$(sed -n 's/^ZT_REVISION:[A-Z]*=//p' "$dir/CMakeCache.txt")
    revision=$((${revision:-1} + 1))
    log "cross-building the newer release (revision $revision) in $dir/newer"
    zt_configure windows-newer "$dir/newer" -DZT_WIN_DEPS="$ZT_WIN_DEPS" -DZT_REVISION="$revision"
    cmake --build "$dir/newer" --parallel "$(nproc)" --target NorvaQuillet
    # shellcheck disable=SC2034 # read by scripts/windows
    WIN_NEWER_PROGRAM="$dir/newer/src/app/NorvaQuillet.exe"
}

# dist/NorvaQuillet-M.m.R-win64.zip from the cross build in $1 (CPack, from the build's install rules),
# unpacked beside it as a user would unpack it; ZT_WIN_PACKAGE names that folder. Fails when what the zip
# holds imports a DLL that is neither in it nor part of Windows.
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
    win_check_imports "$ZT_WIN_PACKAGE"
    log "dist/$name.zip: $(du -k "$ZT_WIN_PACKAGE.zip" | cut -f1) kB; NorvaQuillet.exe $(du -k "$ZT_WIN_PACKAGE/NorvaQuillet.exe" | cut -f1) kB"
}
