# Two throw-away minisign key pairs (a, b) and signatures of one file made with them by minisign itself, for
# tst_minisign; run at build time on the build machine (the Windows tests under Wine have no minisign).
#   cmake -DMINISIGN=<minisign> -DDIR=<folder> -P make-minisign-fixtures.cmake
function(run)
    execute_process(COMMAND "${MINISIGN}" ${ARGN} WORKING_DIRECTORY "${DIR}" RESULT_VARIABLE result
                    OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "minisign ${ARGN}: ${output}")
    endif()
endfunction()

file(MAKE_DIRECTORY "${DIR}")
foreach(key a b)
    if(NOT EXISTS "${DIR}/${key}.key")
        run(-G -W -f -p ${key}.pub -s ${key}.key)
    endif()
endforeach()
file(WRITE "${DIR}/payload" "A program the publisher signed.\n")
run(-S -s a.key -m payload -x payload.minisig -t "the prehashed form")
run(-S -l -s a.key -m payload -x payload.legacy.minisig -t "the legacy form")
run(-S -s b.key -m payload -x payload.b.minisig)
