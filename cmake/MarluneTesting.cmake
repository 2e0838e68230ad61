# marlune_add_qtest(NAME SOURCES ... [LIBRARIES ...] [USB_EMULATION] [WIDGETS]
#                   [NATIVE_WINDOWS] [TIMEOUT seconds] [FUNCTIONS function ...])
#
# One Qt Test executable registered with CTest. Widgets run on the offscreen platform so
# the suite needs no display. USB_EMULATION runs the test inside umockdev's preload
# wrapper, so the real libusb and libftdi1 talk to emulated devices. FUNCTIONS registers
# one CTest test per listed test function instead (NAME_function), so that long functions
# can run side by side. In the thread-sanitizer build every test runs with Qt's thread
# hand-overs announced to the sanitizer (testsupport/tsan). In the Windows build every test
# runs under Wine. There a suite that shows WIDGETS is told its Qt platform by argument (Wine
# passes no QT_ variable on to Windows programs, and a suite without a QApplication takes no
# such argument); NATIVE_WINDOWS gives it the real Windows platform on a virtual display
# (Xvfb) instead of the offscreen one, for what only native windows show.
#
# USB emulation needs umockdev, which exists only on Linux; MARLUNE_USB_EMULATION says whether
# this build has it, and the folders register their emulated suites only then. In the Windows
# build every test runs under Wine (the cross-compiling emulator).
if(WIN32)
    set(MARLUNE_USB_EMULATION OFF)
else()
    set(MARLUNE_USB_EMULATION ON)
    find_program(UMOCKDEV_WRAPPER umockdev-wrapper)
endif()

function(marlune_add_qtest name)
    cmake_parse_arguments(ARG "USB_EMULATION;WIDGETS;NATIVE_WINDOWS" "TIMEOUT" "SOURCES;LIBRARIES;FUNCTIONS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE Qt::Test ${ARG_LIBRARIES})
    set(launcher)
    set(platform offscreen)
    set(platform_arguments)
    if(WIN32)
        set(launcher ${MARLUNE_WINE_QTEST})
        if(ARG_NATIVE_WINDOWS)
            find_program(XVFB_RUN xvfb-run REQUIRED)
            set(launcher ${XVFB_RUN} -a ${MARLUNE_WINE_QTEST})
            set(platform windows)
        endif()
        if(ARG_WIDGETS OR ARG_NATIVE_WINDOWS)
            set(platform_arguments -platform ${platform})
        endif()
    elseif(ARG_NATIVE_WINDOWS)
        message(FATAL_ERROR "${name}: native windows are Windows' own")
    endif()
    if(ARG_USB_EMULATION)
        if(NOT MARLUNE_USB_EMULATION)
            message(FATAL_ERROR "${name} needs USB emulation, which this build has not")
        endif()
        if(NOT UMOCKDEV_WRAPPER)
            message(FATAL_ERROR "umockdev-wrapper not found; install the umockdev package")
        endif()
        set(launcher ${UMOCKDEV_WRAPPER})
    endif()
    set(tests)
    if(ARG_FUNCTIONS)
        foreach(function IN LISTS ARG_FUNCTIONS)
            add_test(NAME ${name}_${function} COMMAND ${launcher} $<TARGET_FILE:${name}> ${function} ${platform_arguments})
            list(APPEND tests ${name}_${function})
        endforeach()
    else()
        add_test(NAME ${name} COMMAND ${launcher} $<TARGET_FILE:${name}> ${platform_arguments})
        list(APPEND tests ${name})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 120)
    endif()
    set(environment "QT_QPA_PLATFORM=${platform}" "QT_LOGGING_RULES=qt.qpa.*=false")
    if(WIN32 AND ARG_NATIVE_WINDOWS)
        # Wine's desktop belongs to its server; one started by a suite without a display
        # would have none for this one, so the suite gets a Wine prefix (and server) of its own.
        list(APPEND environment "WINEPREFIX=${MARLUNE_WINE_PREFIX}-display")
    endif()
    if(TARGET marlune_qtthreadannotations)
        add_dependencies(${name} marlune_qtthreadannotations)
        list(APPEND environment
            "LD_PRELOAD=$<TARGET_FILE:marlune_qtthreadannotations>"
            "TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=${MARLUNE_TSAN_SUPPRESSIONS}")
    endif()
    set_tests_properties(${tests} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
endfunction()
