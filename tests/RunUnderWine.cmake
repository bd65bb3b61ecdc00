# Runs one Windows test program for CTest (cmake -P) through the toolchain's emulator, Wine: the Qt Test log
# goes to a file, because a Windows console program under Wine writes nothing to a pipe, and is printed
# from there. Wine's own output goes to a file too: a program the test started and left running would keep a pipe
# open, and CTest would wait for it. Such a program is ended once the test has, and named (common/wine-leftovers.sh).
#   -DEMULATOR=<wine command, items joined by |> -DPROGRAM=<test.exe> -DLOG=<file> [-DARGS=<a|b|...>]
string(REPLACE "|" ";" emulator "${EMULATOR}")
string(REPLACE "|" ";" args "${ARGS}")
file(REMOVE "${LOG}" "${LOG}.wine")
execute_process(COMMAND bash "${CMAKE_CURRENT_LIST_DIR}/common/wine-leftovers.sh" ${emulator} "${PROGRAM}" ${args}
                -o "${LOG},txt" RESULT_VARIABLE result OUTPUT_FILE "${LOG}.wine" ERROR_FILE "${LOG}.wine")
if(EXISTS "${LOG}")
    file(READ "${LOG}" text)
    message("${text}")
endif()
file(READ "${LOG}.wine" wine)
if(wine)
    message("${wine}")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ended with ${result}")
endif()
