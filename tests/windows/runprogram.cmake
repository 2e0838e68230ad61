# Runs a Windows program of the build under Wine and checks how it ended:
#   cmake -DWINE_RUN=... -DPROGRAM=... "-DARGUMENTS=a;b" [-DDEVICES=...] -DEXPECT_EXIT=n
#         "-DEXPECT_OUTPUT=regex;..." "-DEXPECT_ABSENT=regex;..."
#         [-DCOPY=file -DCOPY_TO=folder] [-DPYTHON=python3 -DJSON_FIELD=name -DJSON_HOLDS=text]
#         -P runprogram.cmake
# DEVICES becomes MARLUNE_DEMO_DEVICES: the devices behind the stand-in FTDI driver library.
# COPY is copied into COPY_TO first. Each EXPECT_OUTPUT pattern must match the output
# (standard and error output together), no EXPECT_ABSENT pattern may. With JSON_FIELD, the
# standard output must be one JSON document in strict UTF-8, whose field JSON_FIELD holds
# JSON_HOLDS, read by Python's own parser.
set(ENV{MARLUNE_DEMO_DEVICES} "${DEVICES}")
if(COPY)
    file(COPY ${COPY} DESTINATION ${COPY_TO})
endif()
# The output goes to files, not pipes: a Wine server this program starts outlives it, and
# would hold a pipe open for as long as other tests keep the server running.
string(RANDOM LENGTH 8 run_id)
set(output_file ${CMAKE_CURRENT_BINARY_DIR}/runprogram-${run_id}.out)
set(error_file ${CMAKE_CURRENT_BINARY_DIR}/runprogram-${run_id}.err)
execute_process(COMMAND ${WINE_RUN} ${PROGRAM} ${ARGUMENTS}
    RESULT_VARIABLE exit_code
    INPUT_FILE /dev/null
    OUTPUT_FILE ${output_file}
    ERROR_FILE ${error_file}
    TIMEOUT 120)
file(READ ${output_file} standard_output)
file(READ ${error_file} error_output)
file(REMOVE ${output_file} ${error_file})
set(output "${standard_output}${error_output}")
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
if(JSON_FIELD)
    set(json_file ${CMAKE_CURRENT_BINARY_DIR}/runprogram-${run_id}.json)
    file(WRITE ${json_file} "${standard_output}")
    execute_process(
        COMMAND ${PYTHON} -c [=[
import json, sys
document = json.loads(open(sys.argv[1], 'rb').read().decode('utf-8', 'strict'))
value = document[sys.argv[2]]
sys.exit(0 if sys.argv[3] in value else 'the field %s is %r' % (sys.argv[2], value))
]=] ${json_file} ${JSON_FIELD} ${JSON_HOLDS}
        RESULT_VARIABLE parsed ERROR_VARIABLE parse_error)
    file(REMOVE ${json_file})
    if(NOT parsed EQUAL 0)
        message(FATAL_ERROR "the output is not UTF-8 JSON holding \"${JSON_HOLDS}\":\n${parse_error}")
    endif()
endif()
