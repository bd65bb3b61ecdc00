# A newer release of the program for trying the self-update: the same sources built with the next revision,
# in a folder of its own ($BUILD_DIR/newer). Sourced after scripts/lib/common.sh and build_project.

NEWER_BUILD_DIR="$BUILD_DIR/newer"

# The revision of the build in $BUILD_DIR (the ZT_REVISION it was configured with).
zt_build_revision() {
    local revision
    revision="$(sed -n 's/^ZT_REVISION:[A-Z]*=//p' "$BUILD_DIR/CMakeCache.txt")"
    echo "${revision:-1}"
}

# Builds the program with the next revision; sets NEWER_REVISION and NEWER_PROGRAM.
build_newer() {
    NEWER_REVISION=$(($(zt_build_revision) + 1))
    log "building the newer release (revision $NEWER_REVISION) in $NEWER_BUILD_DIR"
    cmake -S "$ROOT" -B "$NEWER_BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZT_REVISION="$NEWER_REVISION" -DZT_BUILD_TESTS=OFF -DZT_BUILD_BENCH=OFF -DZT_BUILD_TOOLS=OFF >/dev/null
    cmake --build "$NEWER_BUILD_DIR" --parallel "$(nproc)" --target NorvaQuillet
    NEWER_PROGRAM="$NEWER_BUILD_DIR/src/app/NorvaQuillet"
}
