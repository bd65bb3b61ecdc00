# shellcheck shell=bash disable=SC2034 # a recipe is data, read by deps.sh
# libsodium, for the Ed25519 signatures of the programs the update server publishes. It is built with its own
# autotools scripts (autoconf, automake and libtool: it has no CMake build), static, with the MinGW cross compiler.
recipe_source=libsodium
recipe_binary=libsodium23
recipe_licences=(LICENSE)

recipe_make() {
    local src=$1 build=$2 prefix=$3 stage=$4
    # Debian's source carries no generated configure script.
    [ -x "$src/configure" ] || (cd "$src" && autoreconf -fi)
    mkdir -p "$build"
    (cd "$build" && "$src/configure" --host="$ZT_WIN_TRIPLET" CC="$ZT_WIN_TRIPLET-gcc-posix" --prefix="$prefix" \
        --disable-shared --enable-static --disable-dependency-tracking)
    make -C "$build" -j "$(nproc)"
    make -C "$build" install-strip DESTDIR="$stage"
}

# Programs that link the static library must say so, or the header declares the functions as DLL imports.
recipe_fixup() {
    sed -i 's/^Cflags: .*/& -DSODIUM_STATIC/' "$1/lib/pkgconfig/libsodium.pc"
    rm -f "$1"/lib/libsodium.la
}
