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

# The demo key: the demo samples are signed with it at build time, and the demo and the tests
# trust it. Its secret half lives only here in the test support; the installed programs
# never trust it (resources/firmwares refuses it).
set(MARLUNE_DEMO_KEY ${PROJECT_SOURCE_DIR}/testsupport/signing/demo.pub)
set(MARLUNE_DEMO_SECRET_KEY ${PROJECT_SOURCE_DIR}/testsupport/signing/demo.sec)

# marlune_add_firmware_bundle(TARGET FILES file ... KEYS key ...)
#
# A static library holding update files as the resource folder ":/firmwares", each with its
# signature NAME.ml2.minisig beside it, and the minisign public keys trusted for them as
# ":/trusted-keys", with registerBuiltInUpdateFiles() to register both. The files are stored
# uncompressed, so that MLU2File copies one straight out of the program without unpacking a
# copy first. Each program links exactly one such bundle: the installed programs the release
# catalogue (resources/firmwares), the demo and the tests the demo samples
# (testsupport/updatefiles). No files make an empty catalogue. The build stops when a file's
# signature does not verify, with the stock minisign, against one of the bundle's keys for
# the model and firmware its header names.
function(marlune_add_firmware_bundle target)
    cmake_parse_arguments(ARG "" "" "FILES;KEYS" ${ARGN})
    set(qrc_entries "")
    set(signature_files "")
    foreach(firmware_file IN LISTS ARG_FILES)
        get_filename_component(firmware_name ${firmware_file} NAME)
        string(APPEND qrc_entries "        <file alias=\"${firmware_name}\">${firmware_file}</file>\n")
        string(APPEND qrc_entries
            "        <file alias=\"${firmware_name}.minisig\">${firmware_file}.minisig</file>\n")
        list(APPEND signature_files ${firmware_file}.minisig)
    endforeach()
    set(key_entries "")
    foreach(key_file IN LISTS ARG_KEYS)
        get_filename_component(key_name ${key_file} NAME)
        string(APPEND key_entries "        <file alias=\"${key_name}\">${key_file}</file>\n")
    endforeach()
    set(qrc_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.qrc)
    file(CONFIGURE OUTPUT ${qrc_file} CONTENT
"<!DOCTYPE RCC>
<RCC version=\"1.0\">
    <qresource prefix=\"/firmwares\">
${qrc_entries}    </qresource>
    <qresource prefix=\"/trusted-keys\">
${key_entries}    </qresource>
</RCC>
")

    set(verified_stamp "")
    if(ARG_FILES)
        find_program(MARLUNE_MINISIGN minisign REQUIRED)
        set(verified_stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.verified)
        add_custom_command(OUTPUT ${verified_stamp}
            COMMAND ${CMAKE_COMMAND} -DMINISIGN=${MARLUNE_MINISIGN} "-DFIRMWARE_FILES=${ARG_FILES}"
                    "-DKEYS=${ARG_KEYS}" -DSTAMP=${verified_stamp}
                    -P ${PROJECT_SOURCE_DIR}/cmake/verifyfirmwaresignatures.cmake
            DEPENDS ${ARG_FILES} ${signature_files} ${ARG_KEYS} ${PROJECT_SOURCE_DIR}/cmake/verifyfirmwaresignatures.cmake
            COMMENT "Checking the signatures of the update files of ${target}"
            VERBATIM)
    endif()

    # The bundle keeps the name "firmwares" whichever files it holds: that is the name the
    # registration function initialises.
    set(rcc_output ${CMAKE_CURRENT_BINARY_DIR}/qrc_${target}.cpp)
    add_custom_command(OUTPUT ${rcc_output}
        COMMAND Qt${MARLUNE_QT_VERSION}::rcc --name firmwares --no-compress --output ${rcc_output} ${qrc_file}
        DEPENDS ${qrc_file} ${ARG_FILES} ${signature_files} ${ARG_KEYS} ${verified_stamp}
        COMMENT "Compiling the update files of ${target}"
        VERBATIM)
    set_source_files_properties(${rcc_output} PROPERTIES SKIP_AUTOGEN ON)

    add_library(${target} STATIC ${PROJECT_SOURCE_DIR}/resources/firmwares/registerbuiltinupdatefiles.cpp
                                 ${rcc_output})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/resources/firmwares)
    target_link_libraries(${target} PUBLIC Qt::Core)
endfunction()
