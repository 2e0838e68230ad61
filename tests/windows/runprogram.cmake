# Runs a Windows program of the build under Wine and checks how it ended:
#   cmake -DWINE_RUN=... -DPROGRAM=... "-DARGUMENTS=a;b" [-DDEVICES=...] -DEXPECT_EXIT=n
#         "-DEXPECT_OUTPUT=regex;..." "-DEXPECT_ABSENT=regex;..." -P runprogram.cmake
# DEVICES becomes MARLUNE_DEMO_DEVICES: the devices behind the stand-in FTDI driver library.
# Each EXPECT_OUTPUT pattern must match the output (standard and error output together),
# no EXPECT_ABSENT pattern may.
set(ENV{MARLUNE_DEMO_DEVICES} "${DEVICES}")
execute_process(COMMAND ${WINE_RUN} ${PROGRAM} ${ARGUMENTS}
    RESULT_VARIABLE exit_code
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    TIMEOUT 120)
message("${PROGRAM} ${ARGUMENTS}\n-- exit ${exit_code}, output:\n${output}")
if(NOT exit_code STREQUAL EXPECT_EXIT)
    message(FATAL_ERROR "exit code ${exit_code}, expected ${EXPECT_EXIT}")
endif()
foreach(pattern IN LISTS EXPECT_OUTPUT)
    if(NOT output MATCHES "${pattern}")
        message(FATAL_ERROR "the output lacks \"${pattern}\"")
    endif()
endforeach()
foreach(pattern IN LISTS EXPECT_ABSENT)
    if(output MATCHES "${pattern}")
        message(FATAL_ERROR "the output has \"${pattern}\"")
    endif()
endforeach()
