# Cross build for 64-bit Windows with Debian's MinGW-w64, POSIX thread model (Qt needs std::thread and friends).
#
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DZT_WIN_DEPS=<prefix>
#
# ZT_WIN_DEPS is the prefix scripts/windows fills with the static Windows builds of Qt, libcurl and MariaDB
# Connector/C. Programs link everything statically, the MinGW C and C++ runtimes included, so each is one
# exe that imports Windows' own DLLs only: the self-update replaces that one file.
# ZT_WINEPREFIX is the Wine prefix test programs run in (default: "wine" beside ZT_WIN_DEPS).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZT_WIN_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ZT_WIN_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZT_WIN_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZT_WIN_TRIPLET}-windres)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# try_compile() projects read this file again without the command line's -D values: pass them on.
foreach(var IN ITEMS ZT_WIN_DEPS ZT_WINEPREFIX)
    if(DEFINED ${var})
        set(ENV{${var}} "${${var}}")
    elseif(DEFINED ENV{${var}})
        set(${var} "$ENV{${var}}")
    endif()
endforeach()

set(CMAKE_FIND_ROOT_PATH /usr/${ZT_WIN_TRIPLET})
if(ZT_WIN_DEPS)
    list(PREPEND CMAKE_FIND_ROOT_PATH "${ZT_WIN_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the prefix's own .pc files. They locate themselves through ${pcfiledir}, so no
# sysroot is prepended; a host value of any of these would pull Linux libraries into the build.
set(ENV{PKG_CONFIG_LIBDIR} "")
if(ZT_WIN_DEPS)
    set(ENV{PKG_CONFIG_LIBDIR} "${ZT_WIN_DEPS}/lib/pkgconfig")
endif()
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

# The Windows Qt runs the host's moc, rcc and uic (Debian's qt6-base-dev-tools, the same Qt version).
set(QT_HOST_PATH "/usr" CACHE PATH "Host Qt for the build tools")
if(NOT QT_HOST_PATH_CMAKE_DIR)
    execute_process(COMMAND gcc -print-multiarch OUTPUT_VARIABLE ZT_HOST_MULTIARCH
        OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    set(QT_HOST_PATH_CMAKE_DIR "/usr/lib/${ZT_HOST_MULTIARCH}/cmake" CACHE PATH "CMake packages of the host Qt")
endif()

# Test executables run under Wine: quiet, in their own prefix. (CTest passes the list as separate arguments,
# so no element may hold a ';'.)
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR AND ZT_WIN_DEPS)
    if(NOT ZT_WINEPREFIX)
        get_filename_component(ZT_WINEPREFIX "${ZT_WIN_DEPS}/../wine" ABSOLUTE)
    endif()
    set(CMAKE_CROSSCOMPILING_EMULATOR
        /usr/bin/env WINEDEBUG=-all "WINEPREFIX=${ZT_WINEPREFIX}" "WINEDLLOVERRIDES=mscoree,mshtml=" wine)
endif()
