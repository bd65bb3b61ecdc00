# Runs one Windows test program for CTest (cmake -P) through the toolchain's emulator, Wine: the Qt Test log
# goes to a file, because a Windows console program under Wine writes nothing to a pipe, and is printed
# from there.
#   -DEMULATOR=<wine command, items joined by |> -DPROGRAM=<test.exe> -DLOG=<file> [-DARGS=<a|b|...>]
string(REPLACE "|" ";" emulator "${EMULATOR}")
string(REPLACE "|" ";" args "${ARGS}")
file(REMOVE "${LOG}")
execute_process(COMMAND ${emulator} "${PROGRAM}" ${args} -o "${LOG},txt" RESULT_VARIABLE result)
if(EXISTS "${LOG}")
    file(READ "${LOG}" text)
    message("${text}")
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ended with ${result}")
endif()
