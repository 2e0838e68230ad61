# marlune_add_qtest(NAME SOURCES ... [LIBRARIES ...] [USB_EMULATION] [TIMEOUT seconds])
#
# One Qt Test executable registered with CTest. Widgets run on the offscreen platform so
# the suite needs no display. USB_EMULATION runs the test inside umockdev's preload
# wrapper, so the real libusb and libftdi1 talk to emulated devices.
find_program(UMOCKDEV_WRAPPER umockdev-wrapper)

function(marlune_add_qtest name)
    cmake_parse_arguments(ARG "USB_EMULATION" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt5::Test ${ARG_LIBRARIES})
    if(ARG_USB_EMULATION)
        if(NOT UMOCKDEV_WRAPPER)
            message(FATAL_ERROR "umockdev-wrapper not found; install the umockdev package")
        endif()
        add_test(NAME ${name} COMMAND ${UMOCKDEV_WRAPPER} $<TARGET_FILE:${name}>)
    else()
        add_test(NAME ${name} COMMAND ${name})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(environment "QT_QPA_PLATFORM=offscreen" "QT_LOGGING_RULES=qt.qpa.*=false")
    if(TARGET marlune_qtthreadannotations)
        add_dependencies(${name} marlune_qtthreadannotations)
        list(APPEND environment
            "LD_PRELOAD=$<TARGET_FILE:marlune_qtthreadannotations>"
            "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${MARLUNE_TSAN_SUPPRESSIONS}")
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()
