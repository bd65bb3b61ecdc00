# shellcheck shell=bash disable=SC2034 # a recipe is data, read by deps.sh
# MariaDB Connector/C from the server's source package, built on its own: TLS through Schannel, the
# authentication plugins a server may ask for linked in; nothing that needs OpenSSL, curl or Kerberos.
recipe_source=mariadb
recipe_binary=libmariadb3
recipe_subdir=libmariadb
recipe_args=(
    -DINSTALL_BINDIR=bin -DINSTALL_LIBDIR=lib -DINSTALL_INCLUDEDIR=include/mariadb
    -DINSTALL_PCDIR=lib/pkgconfig -DINSTALL_PLUGINDIR=lib/mariadb/plugin
    -DWITH_SSL=SCHANNEL -DWITH_UNIT_TESTS=OFF -DWITH_CURL=OFF -DWITH_EXTERNAL_ZLIB=OFF
    -DWITH_DYNCOL=ON -DWITH_MSI=OFF
    -DCLIENT_PLUGIN_CACHING_SHA2_PASSWORD=STATIC -DCLIENT_PLUGIN_SHA256_PASSWORD=STATIC
    -DCLIENT_PLUGIN_CLIENT_ED25519=STATIC -DCLIENT_PLUGIN_PVIO_SHMEM=STATIC
    -DCLIENT_PLUGIN_DIALOG=OFF -DCLIENT_PLUGIN_MYSQL_CLEAR_PASSWORD=OFF
    -DCLIENT_PLUGIN_AUTH_GSSAPI_CLIENT=OFF -DCLIENT_PLUGIN_REMOTE_IO=OFF -DCLIENT_PLUGIN_ZSTD=OFF
)
recipe_licences=(libmariadb/COPYING.LIB)

# The connector always builds a DLL too, and Windows builds install no pkg-config file: keep the static
# library and describe it.
recipe_fixup() {
    local p=$1 version
    rm -f "$p/lib/libmariadb.dll" "$p/lib/liblibmariadb.dll.a"
    version=$(sed -n 's/^#define MARIADB_PACKAGE_VERSION "\(.*\)"/\1/p' "$p/include/mariadb/mariadb_version.h")
    if [ -z "$version" ]; then
        echo "no MARIADB_PACKAGE_VERSION in mariadb_version.h: cannot write the .pc file" >&2
        return 1
    fi
    mkdir -p "$p/lib/pkgconfig"
    cat >"$p/lib/pkgconfig/libmariadb.pc" <<PC
prefix=\${pcfiledir}/../..
includedir=\${prefix}/include/mariadb
libdir=\${prefix}/lib

Name: libmariadb
Version: $version
Description: MariaDB Connector/C static library
Cflags: -I\${includedir}
Libs: -L\${libdir} -lmariadbclient
Libs.private: -lws2_32 -ladvapi32 -lshlwapi -lcrypt32 -lsecur32 -lbcrypt
PC
}
