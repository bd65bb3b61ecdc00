# shellcheck shell=bash
# A newer release of the program for trying the self-update: the same sources built with the next revision,
# the program alone, in the folder "newer" inside the build it follows. The Linux build ($BUILD_DIR/newer,
# CMakePresets.json's "newer") and the Windows one (windows/project.sh, "windows-newer") both make it here.
# Sourced after scripts/lib/common.sh.

# The revision of the build in DIR (default $BUILD_DIR): the ZT_REVISION it was configured with.
zt_build_revision() {
    local dir=${1:-$BUILD_DIR} revision
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        log "no build in $dir to read the revision of"
        return 1
    fi
    revision="$(sed -n 's/^ZT_REVISION:[A-Z]*=//p' "$dir/CMakeCache.txt")"
    echo "${revision:-1}"
}

# zt_build_newer PRESET DIR PROGRAM [CMAKE ARGUMENTS...]: the program built with the revision after the one of
# the build in DIR, in DIR/newer, with DIR's compiler launchers and publisher keys; sets NEWER_REVISION and
# NEWER_PROGRAM (DIR/newer/src/app/PROGRAM).
zt_build_newer() {
    local preset=$1 dir=$2 program=$3 revision launchers keys
    shift 3
    revision="$(zt_build_revision "$dir")"
    NEWER_REVISION=$((revision + 1))
    mapfile -t launchers < <(zt_build_launchers "$dir")
    keys="$(sed -n 's/^ZT_UPDATE_PUBLIC_KEYS:[A-Z]*=//p' "$dir/CMakeCache.txt")"
    zt_configure "$preset" "$dir/newer" "${launchers[@]}" -DZT_UPDATE_PUBLIC_KEYS="$keys" "$@" \
        -DZT_REVISION="$NEWER_REVISION"
    log "building the newer release (revision $NEWER_REVISION) in $dir/newer"
    cmake --build "$dir/newer" --parallel "$(nproc)" --target NorvaQuillet
    # shellcheck disable=SC2034 # read by the scripts that source this file
    NEWER_PROGRAM="$dir/newer/src/app/$program"
}

# The Linux program's newer release, beside the build in $BUILD_DIR.
build_newer() { zt_build_newer newer "$BUILD_DIR" NorvaQuillet; }
