# The Windows package: NorvaQuillet.exe, which carries everything it links (Qt, libcurl, MariaDB
# Connector/C, the MinGW runtime), the licence texts of those parts, and the Group Policy template of its machine
# policy (PolicyDefinitions: the ADMX and its en-US and ko-KR ADML, for the configured company). CPack zips it as one portable folder
# NorvaQuillet-M.m.R-win64 (the program updates itself in its own folder, so there is no installer):
#
#   cpack --config build-win/CPackConfig.cmake -B <folder>

include(ReleaseKeys)

install(TARGETS NorvaQuillet RUNTIME DESTINATION .)
install(DIRECTORY "${ZT_POLICY_DEFINITIONS}" DESTINATION .)

# The dependency builds keep their licence texts under share/licenses/<name>; the MinGW runtime's are
# Debian's copyright files of the cross compiler.
foreach(part IN ITEMS qt6-base curl mariadb libsodium)
    install(DIRECTORY "${ZT_WIN_DEPS}/share/licenses/${part}" DESTINATION licenses)
endforeach()
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses/mingw-w64-runtime)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses/gcc-runtime)
install(FILES "${CMAKE_CURRENT_LIST_DIR}/licenses-README.txt" DESTINATION licenses RENAME README.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME NorvaQuillet)
set(CPACK_PACKAGE_FILE_NAME
    "NorvaQuillet-${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_TWEAK}-win64")
if(ZT_UPDATE_KEY_COUNT EQUAL 0)
    string(APPEND CPACK_PACKAGE_FILE_NAME "-unsigned")
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# Debugging information stays in the build; the package carries what runs.
set(CPACK_STRIP_FILES ON)
include(CPack)
