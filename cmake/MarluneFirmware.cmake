# The demo sample update files, and resource bundles of update files.
#
# Model|firmware version|device data|block lengths of each demo sample. Every sample fits
# hardware 1.00; DEMO-A carries a large block so that a demo update runs long enough to
# watch. testsupport/updatefiles writes them with mlu2pack for the demo, the tests and the
# benchmarks; the release catalogue refuses them (resources/firmwares).
set(MARLUNE_DEMO_SAMPLES
    "DEMO-A|1.00|0x4D4C0A01|49152,4096"
    "DEMO-B|1.03|0x4D4C0B02|2048"
    "DEMO-C|2.10|0x4D4C0C03|1024,512,300"
    "DEMO-D|0.95|0x4D4C0D04|4000"
    "DEMO-E|1.12|0x4D4C0E05|777,1500"
    "DEMO-F|3.01|0x4D4C0F06|256"
    "DEMO-G|1.07|0x4D4C1007|1536,2560,100"
)
set(MARLUNE_DEMO_MODELS "")
foreach(sample IN LISTS MARLUNE_DEMO_SAMPLES)
    string(REGEX REPLACE "\\|.*" "" model "${sample}")
    list(APPEND MARLUNE_DEMO_MODELS ${model})
endforeach()

# marlune_add_firmware_bundle(TARGET FILES file ...)
#
# A static library holding update files as the resource folder ":/firmwares", with
# registerBuiltInUpdateFiles() to register it. They are stored uncompressed, so that MLU2File
# copies one straight out of the program without unpacking a copy first. Each program links
# exactly one such bundle: the installed programs the release catalogue (resources/firmwares),
# the demo and the tests the demo samples (testsupport/updatefiles). No files make an empty
# catalogue.
function(marlune_add_firmware_bundle target)
    cmake_parse_arguments(ARG "" "" "FILES" ${ARGN})
    set(qrc_entries "")
    foreach(firmware_file IN LISTS ARG_FILES)
        get_filename_component(firmware_name ${firmware_file} NAME)
        string(APPEND qrc_entries "        <file alias=\"${firmware_name}\">${firmware_file}</file>\n")
    endforeach()
    set(qrc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.qrc)
    file(CONFIGURE OUTPUT ${qrc_file} CONTENT
"<!DOCTYPE RCC>
<RCC version=\"1.0\">
    <qresource prefix=\"/firmwares\">
${qrc_entries}    </qresource>
</RCC>
")

    # The bundle keeps the name "firmwares" whichever files it holds: that is the name the
    # registration function initialises.
    set(rcc_output ${CMAKE_CURRENT_BINARY_DIR}/qrc_${target}.cpp)
    add_custom_command(OUTPUT ${rcc_output}
        COMMAND Qt${MARLUNE_QT_VERSION}::rcc --name firmwares --no-compress --output ${rcc_output} ${qrc_file}
        DEPENDS ${qrc_file} ${ARG_FILES}
        COMMENT "Compiling the update files of ${target}"
        VERBATIM)
    set_source_files_properties(${rcc_output} PROPERTIES SKIP_AUTOGEN ON)

    add_library(${target} STATIC ${PROJECT_SOURCE_DIR}/resources/firmwares/registerbuiltinupdatefiles.cpp
                                 ${rcc_output})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/resources/firmwares)
    target_link_libraries(${target} PUBLIC Qt::Core)
endfunction()
