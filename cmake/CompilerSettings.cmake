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
