# shellcheck shell=bash disable=SC2034 # a recipe is data, read by deps.sh
# Qt Core, Gui, Widgets, Network and Test, static with the MinGW runtime linked in; the Windows platform
# plugin and the Vista style come along as static plugins, which a program linking Qt imports by itself.
# Debian's tarball leaves out the tablet header the Windows platform plugin wants (tabletevent off). Without
# OpenGL, dynamic GL must be off too or the plugin does not compile. The Direct2D plugin stays: without it
# Qt 6.4.2 leaves out a font database the Windows plugin still links against.
recipe_source=qt6-base
recipe_args=(
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DFEATURE_static_runtime=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_openssl=OFF -DFEATURE_icu=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_tabletevent=OFF
)
recipe_licences=(LICENSE.* LICENSES/* "src/3rdparty/*/LICENSE*" "src/3rdparty/*/COPYING*")

# Qt's own build tools come from the host, so the Windows Qt is built from the same upstream version as the
# installed qt6-base-dev-tools: its source first, then any other Debian revision of that version.
recipe_versions() {
    local host v
    host=$(dpkg-query -W -f='${source:Version}' qt6-base-dev-tools)
    echo "$host"
    apt-cache showsrc qt6-base | awk '/^Version:/ { print $2 }' | while read -r v; do
        [ "$v" = "$host" ] || [ "${v%-*}" != "${host%-*}" ] || echo "$v"
    done
}
