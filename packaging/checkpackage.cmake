# Builds the .deb with CPack, checks its control fields and contents, runs lintian on it,
# unpacks it into a scratch root, validates the desktop files there and runs the installed
# command-line tool. Then checks that packaging refuses the demo samples.
#
# Expects BINARY_DIR, WORK_DIR, CPACK_COMMAND, DPKG_DEB, LINTIAN, APPSTREAMCLI,
# DESKTOP_FILE_VALIDATE, WITH_WINDOW, WITH_ICONS, QT_LIBRARY (the Qt Core package the tool
# needs), VERSION, APPSTREAM_ID, REFUSE_SCRIPT,
# DEMO_SAMPLE and DEMO_MODELS.

function(run_checked)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command} failed (${result}):\n${output}\n${errors}")
    endif()
    set(run_output "${output}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

run_checked(${CPACK_COMMAND} -G DEB -B ${WORK_DIR} --config ${BINARY_DIR}/CPackConfig.cmake)
file(GLOB packages ${WORK_DIR}/*.deb)
list(LENGTH packages package_count)
if(NOT package_count EQUAL 1)
    message(FATAL_ERROR "expected one .deb in ${WORK_DIR}, found: ${packages}")
endif()
set(package ${packages})
message(STATUS "package: ${package}")

foreach(field_and_value "Package=marlune-fwupdate" "Version=${VERSION}")
    string(REPLACE "=" ";" pair ${field_and_value})
    list(GET pair 0 field)
    list(GET pair 1 expected)
    run_checked(${DPKG_DEB} --field ${package} ${field})
    string(STRIP "${run_output}" actual)
    if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "${field} is \"${actual}\", expected \"${expected}\"")
    endif()
endforeach()

# Derived from the binaries by dpkg-shlibdeps, not written by hand.
run_checked(${DPKG_DEB} --field ${package} Depends)
set(depends "${run_output}")
message(STATUS "Depends: ${depends}")
foreach(library ${QT_LIBRARY} libusb-1.0-0 libftdi1-2 libstdc\\+\\+6)
    if(NOT depends MATCHES "(^|, )${library} \\(>= ")
        message(FATAL_ERROR "Depends lacks a versioned ${library}: ${depends}")
    endif()
endforeach()

run_checked(${DPKG_DEB} --contents ${package})
set(contents "${run_output}")
set(expected_files
    ./usr/bin/marlune-fwupdate-cli
    ./usr/share/man/man1/marlune-fwupdate-cli.1.gz
    ./usr/share/doc/marlune-fwupdate/copyright
    ./usr/share/doc/marlune-fwupdate/changelog.gz
    ./usr/share/doc/marlune-fwupdate/guide.html
    ./usr/lib/udev/rules.d/60-marlune-fwupdate.rules
    ./usr/share/metainfo/${APPSTREAM_ID}.metainfo.xml)
if(WITH_WINDOW)
    list(APPEND expected_files
        ./usr/bin/marlune-fwupdate
        ./usr/share/man/man1/marlune-fwupdate.1.gz
        ./usr/share/applications/marlune-fwupdate.desktop)
endif()
if(WITH_ICONS)
    list(APPEND expected_files
        ./usr/share/icons/hicolor/48x48/apps/marlune-fwupdate.png
        ./usr/share/icons/hicolor/256x256/apps/marlune-fwupdate.png)
endif()
foreach(expected IN LISTS expected_files)
    string(REPLACE "+" "\\+" pattern "${expected}")
    string(REPLACE "." "\\." pattern "${pattern}")
    if(NOT contents MATCHES " ${pattern}\n")
        message(FATAL_ERROR "${expected} is missing from the package:\n${contents}")
    endif()
endforeach()
string(REGEX MATCHALL " \\./[^\n]*" paths "${contents}")
foreach(path IN LISTS paths)
    if(NOT path MATCHES "^ \\./(usr/)?$" AND NOT path MATCHES "^ \\./usr/(bin|lib|share)/")
        message(FATAL_ERROR "unexpected place in the package:${path}")
    endif()
endforeach()
if(contents MATCHES "/usr/local/")
    message(FATAL_ERROR "the package installs below /usr/local:\n${contents}")
endif()

# Every error and warning must be fixed; one that is intended would need a line with its
# reason in an override file installed as usr/share/lintian/overrides/marlune-fwupdate.
run_checked(${LINTIAN} --fail-on error,warning --info ${package})
message(STATUS "lintian:\n${run_output}")

set(root ${WORK_DIR}/root)
run_checked(${DPKG_DEB} --extract ${package} ${root})
run_checked(${APPSTREAMCLI} validate --no-net --explain ${root}/usr/share/metainfo/${APPSTREAM_ID}.metainfo.xml)
if(WITH_WINDOW)
    run_checked(${DESKTOP_FILE_VALIDATE} ${root}/usr/share/applications/marlune-fwupdate.desktop)
endif()

run_checked(${root}/usr/bin/marlune-fwupdate-cli --version)
if(NOT run_output STREQUAL "marlune-fwupdate-cli ${VERSION}\n")
    message(FATAL_ERROR "the installed tool answers --version with \"${run_output}\"")
endif()
message(STATUS "installed marlune-fwupdate-cli --version: ${run_output}")

# A build without a firmware folder carries no built-in update files, the demo samples least.
run_checked(${root}/usr/bin/marlune-fwupdate-cli builtin --json)
if(run_output MATCHES "DEMO-")
    message(FATAL_ERROR "the installed tool carries demo samples:\n${run_output}")
endif()

# Installing or packaging a demo sample as firmware stops with the reason.
execute_process(COMMAND ${CMAKE_COMMAND} -DFIRMWARE_FILES=${DEMO_SAMPLE} "-DDEMO_MODELS=${DEMO_MODELS}"
                        -P ${REFUSE_SCRIPT}
                RESULT_VARIABLE result ERROR_VARIABLE errors)
if(result EQUAL 0 OR NOT errors MATCHES "demo samples are not firmware")
    message(FATAL_ERROR "the demo sample ${DEMO_SAMPLE} was not refused (${result}):\n${errors}")
endif()
