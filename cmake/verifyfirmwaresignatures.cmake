# Stops the build when an update file to be built in does not verify: its NAME.ml2.minisig
# must hold, by the stock minisign, for one of the keys built in beside it, and its trusted
# comment must read "model=MODEL firmware=VERSION" as the file's header names them.
#
# Expects MINISIGN, FIRMWARE_FILES and KEYS (lists) and STAMP, written when all verify.

foreach(firmware_file IN LISTS FIRMWARE_FILES)
    # The model field: 40 bytes from byte 5, up to its NUL; the firmware version: two
    # little-endian bytes at byte 48, major first when read, printed as 1.03.
    file(READ "${firmware_file}" model_field OFFSET 5 LIMIT 40 HEX)
    set(model "")
    foreach(position RANGE 0 78 2)
        string(SUBSTRING "${model_field}" ${position} 2 byte)
        if(byte STREQUAL "00" OR byte STREQUAL "")
            break()
        endif()
        math(EXPR code "0x${byte}")
        string(ASCII ${code} character)
        string(APPEND model "${character}")
    endforeach()
    file(READ "${firmware_file}" version_field OFFSET 48 LIMIT 2 HEX)
    string(SUBSTRING "${version_field}" 0 2 minor_hex)
    string(SUBSTRING "${version_field}" 2 2 major_hex)
    math(EXPR major "0x${major_hex}")
    math(EXPR minor "0x${minor_hex}")
    if(minor LESS 10)
        set(minor "0${minor}")
    endif()
    set(expected "model=${model} firmware=${major}.${minor}")

    set(verified FALSE)
    foreach(key IN LISTS KEYS)
        execute_process(COMMAND ${MINISIGN} -V -Q -p ${key} -m ${firmware_file}
                        RESULT_VARIABLE result OUTPUT_VARIABLE comment ERROR_QUIET
                        OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(result EQUAL 0 AND comment STREQUAL expected)
            set(verified TRUE)
            break()
        endif()
    endforeach()
    if(NOT verified)
        message(FATAL_ERROR
            "${firmware_file} is not signed by a built-in key as \"${expected}\": every built-in "
            "update file needs its .minisig, made with a key named in MARLUNE_TRUSTED_KEYS "
            "(see the README, \"Signing a release\").")
    endif()
endforeach()
file(WRITE ${STAMP} "")
