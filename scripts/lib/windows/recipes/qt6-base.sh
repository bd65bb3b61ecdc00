# shellcheck shell=bash disable=SC2034 # a recipe is data, read by deps.sh
# Qt Core, Gui, Widgets, Network and Test, static with the MinGW runtime linked in; the Windows platform
# plugin and the Vista style come along as static plugins, which a program linking Qt imports by itself.
# Debian's tarball leaves out the tablet header the Windows platform plugin wants (tabletevent off). Without
# OpenGL, dynamic GL must be off too or the plugin does not compile. The Direct2D plugin stays: without it
# Qt 6.4.2 leaves out a font database the Windows plugin still links against. FreeType stays too: the
# offscreen platform the GUI tests run on draws text with it.
#
# Every PC downloads the whole exe with each release, so Qt is built for size, and without what the program
# never shows but a static Qt would still link in because QApplication, QWidget, QDialog, the Vista style or
# the accessibility factories can reach it: graphics view, style sheets and the Fusion style, docks, MDI, the
# status bar, the date, colour and font dialogs and other widgets we do not use, gestures and kinetic
# scrolling, Markdown and ODF text, the MIME database, the non-Gregorian calendars, and Qt's own HTTP, TLS
# and SOCKS (libcurl does the transfers; QNetworkProxy still gives the system's proxy answer). Some stay
# because Qt 6.4.2 does not compile without them: tool bars and menu bars (Widgets), table views and the
# input dialog (the Vista style), sliders (scroll bars need them). PCRE2's JIT compiler is left out too: the
# only regular expressions are the file dialog's filters.
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
    -DFEATURE_optimize_size=ON -DCMAKE_C_FLAGS=-DPCRE2_DISABLE_JIT
    -DFEATURE_graphicsview=OFF -DFEATURE_style_stylesheet=OFF -DFEATURE_style_fusion=OFF
    -DFEATURE_dockwidget=OFF -DFEATURE_mdiarea=OFF -DFEATURE_statusbar=OFF
    -DFEATURE_calendarwidget=OFF -DFEATURE_datetimeedit=OFF -DFEATURE_colordialog=OFF -DFEATURE_fontdialog=OFF
    -DFEATURE_errormessage=OFF -DFEATURE_wizard=OFF -DFEATURE_commandlinkbutton=OFF
    -DFEATURE_lcdnumber=OFF -DFEATURE_dial=OFF
    -DFEATURE_textbrowser=OFF -DFEATURE_splashscreen=OFF -DFEATURE_keysequenceedit=OFF
    -DFEATURE_fontcombobox=OFF -DFEATURE_undoview=OFF -DFEATURE_columnview=OFF -DFEATURE_datawidgetmapper=OFF
    -DFEATURE_syntaxhighlighter=OFF -DFEATURE_toolbox=OFF -DFEATURE_scroller=OFF -DFEATURE_gestures=OFF
    -DFEATURE_whatsthis=OFF -DFEATURE_movie=OFF -DFEATURE_picture=OFF -DFEATURE_textmarkdownreader=OFF
    -DFEATURE_textmarkdownwriter=OFF -DFEATURE_textodfwriter=OFF -DFEATURE_mimetype=OFF
    -DFEATURE_jalalicalendar=OFF -DFEATURE_hijricalendar=OFF -DFEATURE_islamiccivilcalendar=OFF
    -DFEATURE_http=OFF -DFEATURE_socks5=OFF -DFEATURE_schannel=OFF -DFEATURE_ssl=OFF
    -DFEATURE_networkdiskcache=OFF
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

# A feature turned off takes every feature that needs it along (no sliders means no scroll bars, and with
# them no views and no file dialog), so the build stops here if anything the program needs went missing.
recipe_fixup() {
    local feature missing=()
    for feature in filedialog messagebox accessibility draganddrop clipboard im shortcut textedit \
        combobox progressbar style_windowsvista udpsocket networkproxy networkinterface system_proxies \
        freetype png translation settings process; do
        grep -rqsx "#define QT_FEATURE_$feature 1" "$1/include" || missing+=("$feature")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "this Qt lacks features the program needs: ${missing[*]}" >&2
        return 1
    fi
}
