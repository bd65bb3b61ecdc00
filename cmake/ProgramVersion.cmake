# How a program carries its version, so that mdlFile::GetFileVer reads it back the same way on each system:
# a version resource on Windows (VersionResource.rc.in, the one template of every exe the project builds), an
# ELF note on Linux (VersionNote.cpp.in).

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

# zt_add_program_version(target description [VERSION version] [ICON file.ico] [MANIFEST file.manifest]): the
# version a program carries (this build's, or the one given), where its system keeps it: a version resource
# on Windows, naming the product as its users know it and the publisher (ZT_COMPANY_NAME,
# ZT_LEGAL_COPYRIGHT), with the icon Explorer shows for the exe and the application manifest when given; the
# note above on Linux.
set(ZT_VERSION_RESOURCE_TEMPLATE "${CMAKE_CURRENT_LIST_DIR}/VersionResource.rc.in")
# The names the version resource gives: the product as its users know it (its windows' caption), and the
# publisher's copyright.
set(ZT_PRODUCT_NAME "ZT SQL 로그 디코더")
set(ZT_COPYRIGHT_TEXT "${ZT_LEGAL_COPYRIGHT}")
if(NOT ZT_COPYRIGHT_TEXT)
    set(ZT_COPYRIGHT_TEXT "© ${ZT_COMPANY_NAME}")
endif()
function(zt_add_program_version target description)
    cmake_parse_arguments(ARG "" "VERSION;ICON;MANIFEST" "" ${ARGN})
    set(version "${PROJECT_VERSION}")
    if(ARG_VERSION)
        set(version "${ARG_VERSION}")
    endif()
    if(NOT WIN32)
        zt_add_version_note(${target} "${version}")
        return()
    endif()
    string(REPLACE "." "," ZT_RC_VERSION_COMMAS "${version}")
    set(ZT_RC_VERSION "${version}")
    set(ZT_RC_NAME "${target}")
    set(ZT_RC_DESCRIPTION "${description}")
    set(ZT_RC_COMPANY "${ZT_COMPANY_NAME}")
    set(ZT_RC_COPYRIGHT "${ZT_COPYRIGHT_TEXT}")
    foreach(text IN ITEMS ZT_RC_DESCRIPTION ZT_RC_COMPANY ZT_RC_COPYRIGHT)
        string(REPLACE "\"" "\"\"" ${text} "${${text}}")
    endforeach()
    set(ZT_RC_ICON "")
    set(ZT_RC_MANIFEST "")
    set(generated "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
    set(depends "")
    if(ARG_ICON)
        get_filename_component(icon "${ARG_ICON}" ABSOLUTE)
        # The first icon resource is the exe's icon in Explorer and on the task bar.
        set(ZT_RC_ICON "IDI_ICON1 ICON \"${icon}\"")
        list(APPEND depends "${icon}")
    endif()
    if(ARG_MANIFEST)
        get_filename_component(manifest "${ARG_MANIFEST}" ABSOLUTE)
        # Resource 1 of type 24 (RT_MANIFEST): the manifest Windows reads when it starts the exe.
        set(ZT_RC_MANIFEST "1 24 \"${manifest}\"")
        list(APPEND depends "${manifest}")
    endif()
    set_source_files_properties("${generated}" PROPERTIES OBJECT_DEPENDS "${depends}")
    configure_file("${ZT_VERSION_RESOURCE_TEMPLATE}" "${generated}" @ONLY)
    target_sources(${target} PRIVATE "${generated}")
endfunction()
