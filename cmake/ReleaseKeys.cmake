# A release package whose program would verify nothing it downloads is made only when asked for by name
# (ZT_UPDATE_UNSIGNED); the scripts that build for the local stack give a throw-away key of their own instead.
# Included by WindowsPackage.cmake; `cmake -DZT_UPDATE_KEY_COUNT=0 -P ReleaseKeys.cmake` tries it alone.
if(ZT_UPDATE_KEY_COUNT EQUAL 0 AND NOT ZT_UPDATE_UNSIGNED)
    message(FATAL_ERROR "A release package must verify the programs it downloads: give the publisher's keys "
                        "(-DZT_UPDATE_PUBLIC_KEYS=RWQ...), or ask for a package that verifies nothing with "
                        "-DZT_UPDATE_UNSIGNED=ON (its name then ends in -unsigned)")
endif()
