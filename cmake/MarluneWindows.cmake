# The Windows build (the windows preset): every program and test lands in one folder together
# with the DLLs and Qt plugins it loads, so each runs from there as it will when installed;
# programs built here run under Wine, for the build's own tools and for the tests.

set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

# What Windows shows of the programs and their installer (version resources, the uninstall
# entry), and the name of the mutex by which the installer knows that a program runs
# (src/worker/runningprogrammark_windows.cpp, packaging/windows).
set(MARLUNE_PRODUCT_NAME "Marlune Firmware Update Tool")
set(MARLUNE_COMPANY Marlune)
set(MARLUNE_COPYRIGHT "Copyright © 2026 Marlune")
set(MARLUNE_RUNNING_MUTEX MarluneFirmwareUpdateToolRunning)
# Windows wants a version of four numbers: 0.28 is 0.28.0.0.
string(REPLACE "." ";" version_parts "${PROJECT_VERSION}.0.0.0")
list(SUBLIST version_parts 0 4 version_parts)
list(JOIN version_parts "." MARLUNE_WINDOWS_VERSION)

# marlune_add_windows_resources(program DESCRIPTION text)
#
# Builds into a program its icon, its version information (the project's version) and its
# application manifest. The manifest's DPI awareness is the one Qt asks for itself, so that
# the two agree: Qt 5.15 asks for per-monitor awareness (version 1; it scales the title bar
# itself) and has no handling of version 2, which Qt 6 asks for.
function(marlune_add_windows_resources program)
    cmake_parse_arguments(ARG "" "DESCRIPTION" "" ${ARGN})
    set(MARLUNE_PROGRAM ${program})
    set(MARLUNE_FILE_DESCRIPTION ${ARG_DESCRIPTION})
    string(REPLACE "." "," MARLUNE_VERSION_COMMAS ${MARLUNE_WINDOWS_VERSION})
    if(MARLUNE_QT_VERSION EQUAL 5)
        set(MARLUNE_DPI_AWARENESS PerMonitor)
    else()
        set(MARLUNE_DPI_AWARENESS PerMonitorV2)
    endif()
    set(MARLUNE_ICON_FILE ${PROJECT_BINARY_DIR}/resources/pictures/Marlune.ico)
    set(MARLUNE_MANIFEST_FILE ${CMAKE_CURRENT_BINARY_DIR}/${program}.manifest)
    set(resource_script ${CMAKE_CURRENT_BINARY_DIR}/${program}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.manifest.in ${MARLUNE_MANIFEST_FILE} @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.rc.in ${resource_script} @ONLY)
    target_sources(${program} PRIVATE ${resource_script})
    set_source_files_properties(${resource_script} PROPERTIES
        OBJECT_DEPENDS "${MARLUNE_ICON_FILE};${MARLUNE_MANIFEST_FILE}")
    # The icon is painted by the pictures' build.
    add_dependencies(${program} marlune_pictures)
endfunction()
# The same with the stand-in FTDI driver library beside the programs (testsupport/d2xxstandin).
set(MARLUNE_FTDI_BIN_DIR ${PROJECT_BINARY_DIR}/bin-ftdi)

set(marlune_deps ${MARLUNE_WINDOWS_DEPS})
# libsodium's DLL carries its ABI version in its name (libsodium-23.dll).
file(GLOB marlune_sodium_dll ${marlune_deps}/bin/libsodium-*.dll)
set(MARLUNE_WINDOWS_RUNTIME_DLLS
    ${marlune_deps}/bin/Qt5Core.dll
    ${marlune_deps}/bin/Qt5Gui.dll
    ${marlune_deps}/bin/Qt5Widgets.dll
    ${marlune_deps}/bin/libusb-1.0.dll
    ${marlune_sodium_dll}
    ${marlune_deps}/mingw-runtime/libstdc++-6.dll
    ${marlune_deps}/mingw-runtime/libgcc_s_seh-1.dll
    ${marlune_deps}/mingw-runtime/libwinpthread-1.dll
)
# Plugins by their folder under Qt's plugins: the real and the offscreen screen, the native
# widget style, and the ICO reader for the window icon.
set(MARLUNE_WINDOWS_QT_PLUGINS
    platforms/qwindows.dll
    platforms/qoffscreen.dll
    styles/qwindowsvistastyle.dll
    imageformats/qico.dll
)
foreach(dll IN LISTS MARLUNE_WINDOWS_RUNTIME_DLLS)
    if(NOT EXISTS ${dll})
        message(FATAL_ERROR "${dll} is missing from the Windows dependencies")
    endif()
endforeach()
foreach(folder IN ITEMS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY} ${MARLUNE_FTDI_BIN_DIR})
    file(COPY ${MARLUNE_WINDOWS_RUNTIME_DLLS} ${marlune_deps}/bin/Qt5Test.dll DESTINATION ${folder})
    foreach(plugin IN LISTS MARLUNE_WINDOWS_QT_PLUGINS)
        get_filename_component(plugin_folder ${plugin} DIRECTORY)
        file(COPY ${marlune_deps}/plugins/${plugin} DESTINATION ${folder}/${plugin_folder})
    endforeach()
endforeach()


# Qt's offscreen platform on Windows draws text with fonts from lib/fonts beside the programs
# (the Windows platform uses the system's); the tests' windows are offscreen.
file(GLOB marlune_test_fonts /usr/share/fonts/truetype/dejavu/DejaVuSans*.ttf)
if(NOT marlune_test_fonts)
    message(FATAL_ERROR "no DejaVu fonts for the offscreen tests; install Debian's fonts-dejavu-core")
endif()
foreach(folder IN ITEMS ${CMAKE_RUNTIME_OUTPUT_DIRECTORY} ${MARLUNE_FTDI_BIN_DIR})
    file(COPY ${marlune_test_fonts} DESTINATION ${folder}/lib/fonts)
endforeach()

# Wine runs the programs: in a prefix of the build's own, made once (by the first program to
# need it, under a lock, since tests start side by side), quiet, and without offering to
# download the .NET and HTML engines that no program here uses.
find_program(MARLUNE_WINE64 wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(MARLUNE_WINE64 wine64)
if(NOT MARLUNE_WINE64)
    message(FATAL_ERROR "wine64 not found; install Debian's wine64 package")
endif()
set(MARLUNE_WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
set(MARLUNE_WINE_RUN ${PROJECT_BINARY_DIR}/wine-run)
file(CONFIGURE OUTPUT ${MARLUNE_WINE_RUN} CONTENT [[#!/bin/sh
# Runs a Windows program of this build under Wine (made by cmake/MarluneWindows.cmake).
export WINEPREFIX="${WINEPREFIX:-@MARLUNE_WINE_PREFIX@}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        [ -f "$WINEPREFIX/system.reg" ] || "@MARLUNE_WINE64@" wineboot --init >/dev/null 2>&1
        # wineboot returns before its registry is written; the server's exit writes it.
        wineserver -w 2>/dev/null || true
    ) 9>"$WINEPREFIX.lock"
fi
exec "@MARLUNE_WINE64@" "$@"
]] @ONLY)
file(CHMOD ${MARLUNE_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${MARLUNE_WINE_RUN})

# Qt Test under Wine writes its log to a file only (standard output stays empty there), so
# the suites run through this, which prints the log and keeps the suite's exit code.
set(MARLUNE_WINE_QTEST ${PROJECT_BINARY_DIR}/wine-qtest)
file(CONFIGURE OUTPUT ${MARLUNE_WINE_QTEST} CONTENT [[#!/bin/sh
# Runs a Qt Test suite of this build under Wine and prints its log (made by
# cmake/MarluneWindows.cmake).
# Its own output goes to a file too, never to the caller's pipe: a Wine server the suite starts
# outlives it, and would hold that pipe open for as long as other suites keep it running.
log=$(mktemp)
output=$(mktemp)
"@MARLUNE_WINE_RUN@" "$@" -o "Z:$log,txt" </dev/null >"$output" 2>&1
status=$?
cat "$output" "$log"
rm -f "$log" "$output"
exit $status
]] @ONLY)
file(CHMOD ${MARLUNE_WINE_QTEST} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
     WORLD_READ WORLD_EXECUTE)
