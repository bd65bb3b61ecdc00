# How a program carries its version, so that mdlFile::GetFileVer reads it back the same way on each system.

# zt_add_version_note(target [version]): gives an ELF program this build's four-part version (or the one
# given, for test programs that play another build) as a note, so Linux builds compare versions as Windows
# ones do. Nothing on other systems.
set(ZT_VERSION_NOTE_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/VersionNote.cpp.in")
function(zt_add_version_note target)
    if(WIN32 OR APPLE)
        return()
    endif()
    set(ZT_NOTE_VERSION "${PROJECT_VERSION}")
    if(ARGC GREATER 1)
        set(ZT_NOTE_VERSION "${ARGV1}")
    endif()
    string(LENGTH "${ZT_NOTE_VERSION}" length)
    math(EXPR ZT_NOTE_DESC_SIZE "${length} + 1")
    set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}_VersionNote.cpp")
    configure_file("${ZT_VERSION_NOTE_TEMPLATE}" "${generated}" @ONLY)
    target_sources(${target} PRIVATE "${generated}")
    target_link_libraries(${target} PRIVATE zt_settings)
endfunction()

# zt_add_program_version(target description [version]): the version a program other than the main one
# carries (this build's, or the one given), where its system keeps it: the note above on Linux, a version
# resource on Windows.
set(ZT_VERSION_RESOURCE_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/VersionResource.rc.in")
function(zt_add_program_version target description)
    set(version "${PROJECT_VERSION}")
    if(ARGC GREATER 2)
        set(version "${ARGV2}")
    endif()
    if(WIN32)
        string(REPLACE "." "," ZT_RC_VERSION_COMMAS "${version}")
        set(ZT_RC_VERSION "${version}")
        set(ZT_RC_NAME "${target}")
        set(ZT_RC_DESCRIPTION "${description}")
        set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
        configure_file("${ZT_VERSION_RESOURCE_TEMPLATE}" "${generated}" @ONLY)
        target_sources(${target} PRIVATE "${generated}")
    else()
        zt_add_version_note(${target} "${version}")
    endif()
endfunction()
