# shellcheck shell=bash
# A newer release of the program for trying the self-update: the same sources built with the next revision,
# in a folder of its own ($BUILD_DIR/newer, CMakePresets.json's "newer"). Sourced after scripts/lib/common.sh
# and build_project.

NEWER_BUILD_DIR="$BUILD_DIR/newer"

# The revision of the build in $BUILD_DIR (the ZT_REVISION it was configured with).
zt_build_revision() {
    local revision
    if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
        log "no build in $BUILD_DIR to read the revision of (build_project first)"
        return 1
    fi
    revision="$(sed -n 's/^ZT_REVISION:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt")"
    echo "${revision:-1}"
}

# Builds the program with the next revision; sets NEWER_REVISION and NEWER_PROGRAM.
build_newer() {
    local revision launchers
    revision="$(zt_build_revision)"
    NEWER_REVISION=$((revision + 1))
    mapfile -t launchers < <(zt_build_launchers)
    zt_configure newer "$NEWER_BUILD_DIR" "${launchers[@]}" -DZT_REVISION="$NEWER_REVISION"
    log "building the newer release (revision $NEWER_REVISION)"
    cmake --build "$NEWER_BUILD_DIR" --parallel "$(nproc)" --target NorvaQuillet
    # shellcheck disable=SC2034 # read by the scripts that source this file
    NEWER_PROGRAM="$NEWER_BUILD_DIR/src/app/NorvaQuillet"
}
