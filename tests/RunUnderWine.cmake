# Runs one Windows test program under Wine for CTest (cmake -P): the Qt Test log goes to a file, because a
# Windows console program under Wine writes nothing to a pipe, and is printed from there.
#   -DPROGRAM=<test.exe> -DLOG=<file> -DWINEPREFIX=<prefix> -DWINEPATH=<Z:...> [-DARGS=<a|b|...>]
string(REPLACE "|" ";" args "${ARGS}")
file(REMOVE "${LOG}")
execute_process(
    COMMAND env WINEDEBUG=-all "WINEPREFIX=${WINEPREFIX}" "WINEPATH=${WINEPATH}" "WINEDLLOVERRIDES=mscoree,mshtml="
            wine "${PROGRAM}" ${args} -o "${LOG},txt"
    RESULT_VARIABLE result)
if(EXISTS "${LOG}")
    file(READ "${LOG}" text)
    message("${text}")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ended with ${result}")
endif()
