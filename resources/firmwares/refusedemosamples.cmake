# Stops an install or a package whose built-in update files include a demo sample: those
# are pseudo-random bytes for emulated devices, not firmware for any real one. A file is a
# demo sample when its header names a demo model.
#
# Expects FIRMWARE_FILES and DEMO_MODELS (lists). Runs inside the install script, or alone
# with cmake -P.

# The model field starts at byte 5 of the header; a demo model is followed by its NUL.
foreach(firmware_file IN LISTS FIRMWARE_FILES)
    foreach(model IN LISTS DEMO_MODELS)
        string(LENGTH "${model}" length)
        math(EXPR length "${length} + 1")
        file(READ "${firmware_file}" field OFFSET 5 LIMIT ${length} HEX)
        string(HEX "${model}" expected)
        if(field STREQUAL "${expected}00")
            message(FATAL_ERROR
                "${firmware_file} is the demo sample for ${model}: demo samples are not firmware "
                "and are never installed or packaged. Point MARLUNE_FIRMWARE_DIR at a folder of "
                "real update files, or leave it empty for a package without built-in files.")
        endif()
    endforeach()
endforeach()
