# Two throw-away minisign key pairs (a, b) and signatures of one file made with them by minisign itself, for
# tst_minisign; run at build time on the build machine (the Windows tests under Wine have no minisign).
#   cmake -DMINISIGN=<minisign> -DDIR=<folder> -P make-minisign-fixtures.cmake
file(WRITE "${DIR}/payload" "A program the publisher signed.\n")
foreach(key a b)
    execute_process(COMMAND "${MINISIGN}" -G -W -f -p ${key}.pub -s ${key}.key WORKING_DIRECTORY "${DIR}"
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
foreach(signing "a;payload.minisig" "a;payload.legacy.minisig;-l" "b;payload.b.minisig")
    list(POP_FRONT signing key signature)
    execute_process(COMMAND "${MINISIGN}" -S ${signing} -s ${key}.key -m payload -x ${signature}
                    WORKING_DIRECTORY "${DIR}" OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
