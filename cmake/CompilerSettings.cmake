# Compile settings shared by every target of the project: every target links zt_settings, directly or
# through a library of the project. The one place that sets the C++ standard: C++20, without GNU extensions.
add_library(zt_settings INTERFACE)
target_compile_features(zt_settings INTERFACE cxx_std_20)
set(CMAKE_CXX_EXTENSIONS OFF)
target_compile_definitions(zt_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_FOREACH
    QT_NO_KEYWORDS)
if(MSVC)
    target_compile_options(zt_settings INTERFACE /W4 /utf-8 /permissive-)
else()
    target_compile_options(zt_settings INTERFACE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wold-style-cast
        -finput-charset=UTF-8)
endif()

# The MinGW-w64 gcc always runs the GNU linker it was built with (it ignores -fuse-ld=), which takes seconds
# for each program linked against static Qt. A specs file hands the link to LLVM's lld instead, which links
# the same objects in a fraction of the time; ZT_WIN_LLD=OFF, or no ld.lld on the machine, keeps GNU ld.
if(MINGW)
    option(ZT_WIN_LLD "Link the Windows programs with LLVM's lld" ON)
    find_program(ZT_LD_LLD ld.lld)
    set(ZT_LINKS_WITH_LLD OFF)
    if(ZT_WIN_LLD AND ZT_LD_LLD)
        set(ZT_LINKS_WITH_LLD ON)
        set(ZT_LLD_SPECS "${CMAKE_BINARY_DIR}/lld.specs")
        file(WRITE "${ZT_LLD_SPECS}" "*linker:\n${ZT_LD_LLD}\n\n")
        # lld reserves 1 MB of stack for each thread where GNU ld reserves 2: keep what the program had.
        add_link_options("-specs=${ZT_LLD_SPECS}" LINKER:--stack,2097152)
    endif()
    add_feature_info(lld ZT_LINKS_WITH_LLD "links the Windows programs with ld.lld (ZT_WIN_LLD)")
endif()
