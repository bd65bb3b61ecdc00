# Runs one Windows test program for CTest (cmake -P) through the toolchain's emulator, Wine: the Qt Test log
# goes to a file, because a Windows console program under Wine writes nothing to a pipe, and is printed
# from there. Wine's own output goes to a file too: a program the test started and left running would keep a pipe
# open, and CTest would wait for it. Such a program is ended once the test has, and named.
#   -DEMULATOR=<wine command, items joined by |> -DPROGRAM=<test.exe> -DLOG=<file> [-DARGS=<a|b|...>]
string(REPLACE "|" ";" emulator "${EMULATOR}")
string(REPLACE "|" ";" args "${ARGS}")
set(prefix "")
foreach(item IN LISTS emulator)
    if(item MATCHES "^WINEPREFIX=(.*)$")
        set(prefix "${CMAKE_MATCH_1}")
    endif()
endforeach()
set(leftovers "${CMAKE_CURRENT_LIST_DIR}/common/wine-leftovers.sh")
file(REMOVE "${LOG}" "${LOG}.wine")
if(prefix)
    execute_process(COMMAND bash "${leftovers}" list "${prefix}" OUTPUT_FILE "${LOG}.before")
endif()
execute_process(COMMAND ${emulator} "${PROGRAM}" ${args} -o "${LOG},txt" RESULT_VARIABLE result
                OUTPUT_FILE "${LOG}.wine" ERROR_FILE "${LOG}.wine")
if(EXISTS "${LOG}")
    file(READ "${LOG}" text)
    message("${text}")
endif()
file(READ "${LOG}.wine" wine)
if(wine)
    message("${wine}")
endif()
if(prefix)
    execute_process(COMMAND bash "${leftovers}" end "${prefix}" "${LOG}.before" OUTPUT_VARIABLE ended
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(ended)
        message("Ended what the test left running in ${prefix}:\n${ended}")
    endif()
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ended with ${result}")
endif()
