# Two throw-away minisign key pairs (a, b) and signatures of one file made with them by minisign itself, for
# tst_minisign; run at build time on the build machine (the Windows tests under Wine have no minisign).
#   cmake -DMINISIGN=<minisign> -DDIR=<folder> -P make-minisign-fixtures.cmake
file(WRITE "${DIR}/payload" "A program the publisher signed.\n")
foreach(key a b)
    execute_process(COMMAND "${MINISIGN}" -G -W -f -p ${key}.pub -s ${key}.key WORKING_DIRECTORY "${DIR}"
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
# Trusted comments of the publisher's own: the file's name as one of its tab-separated fields, and inside prose.
foreach(signing "a;payload.minisig" "a;payload.legacy.minisig;-l" "b;payload.b.minisig"
        "a;payload.field.minisig;-t;release 7\tfile:payload" "a;payload.prose.minisig;-t;file:payload, signed by hand")
    list(POP_FRONT signing key signature)
    execute_process(COMMAND "${MINISIGN}" -S ${signing} -s ${key}.key -m payload -x ${signature}
                    WORKING_DIRECTORY "${DIR}" OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
endforeach()
