# shellcheck shell=bash disable=SC2034 # a recipe is data, read by deps.sh
# libcurl with Windows' own TLS (Schannel) and authentication (SSPI), nothing else from outside, and HTTP(S) as
# its only protocols: the program asks for nothing else.
recipe_source=curl
recipe_binary=libcurl4
recipe_args=(
    -DBUILD_STATIC_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF -DHTTP_ONLY=ON
    -DCURL_ENABLE_SSL=ON -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON
    -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
    -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF -DUSE_NGHTTP2=OFF
    -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DCURL_USE_LIBSSH=OFF
    -DCURL_USE_GSSAPI=OFF -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON
)
recipe_licences=(COPYING)

# Programs that link the static library must say so, or the headers declare the functions as DLL imports.
recipe_fixup() {
    sed -i 's/^Cflags: .*/& -DCURL_STATICLIB/' "$1/lib/pkgconfig/libcurl.pc"
}
