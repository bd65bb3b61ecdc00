# shellcheck shell=bash disable=SC2034 # a recipe is data, read by deps.sh
# cpp-httplib for the tests' local HTTP servers, compiled as Debian compiles it (one library beside the
# header), plain HTTP only. Only tests link it, so nothing of it ships.
recipe_source=cpp-httplib
recipe_binary=libcpp-httplib-dev
recipe_args=(
    -DHTTPLIB_COMPILE=ON
    -DHTTPLIB_USE_OPENSSL_IF_AVAILABLE=OFF -DHTTPLIB_USE_ZLIB_IF_AVAILABLE=OFF
    -DHTTPLIB_USE_BROTLI_IF_AVAILABLE=OFF
)

# The upstream build installs CMake files only; the project asks pkg-config, as on Linux.
recipe_fixup() {
    local p=$1 version
    version=$(sed -n 's/^#define CPPHTTPLIB_VERSION "\(.*\)"/\1/p' "$p/include/httplib.h")
    if [ -z "$version" ]; then
        echo "no CPPHTTPLIB_VERSION in httplib.h: cannot write the .pc file" >&2
        return 1
    fi
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
