# The user's guide as one HTML page, from its Markdown (GitHub's tables included):
#   cmake -DCMARK=cmark-gfm -DINPUT=guide.md -DTEMPLATE=guide.html.in -DVERSION=0.28
#         -DOUTPUT=guide.html -P guide.cmake
execute_process(COMMAND ${CMARK} --extension table --to html ${INPUT}
                OUTPUT_VARIABLE GUIDE_BODY RESULT_VARIABLE exit_code)
if(NOT exit_code EQUAL 0)
    message(FATAL_ERROR "${CMARK} could not read ${INPUT}: exit code ${exit_code}")
endif()
file(STRINGS ${INPUT} title_line LIMIT_COUNT 1 REGEX "^# ")
string(REGEX REPLACE "^# " "" GUIDE_TITLE "${title_line}")
set(GUIDE_VERSION ${VERSION})
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
