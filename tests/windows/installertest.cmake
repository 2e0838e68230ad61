# Makes the installer and the ZIP with CPack, installs silently under Wine into a folder of
# the build's Wine prefix, runs the installed command-line tool (alone, and with the stand-in
# FTDI driver library beside it), and uninstalls:
#   cmake -DBINARY_DIR=... -DWINE_RUN=... -DWINE_PREFIX=... -DCPACK_COMMAND=...
#         -DPACKAGE=name -DSTANDIN=path/ftd2xx.dll -P installertest.cmake
function(run)
    cmake_parse_arguments(ARG "" "EXIT;OUTPUT" "COMMAND" ${ARGN})
    execute_process(COMMAND ${ARG_COMMAND} RESULT_VARIABLE exit_code OUTPUT_VARIABLE output
                    ERROR_VARIABLE output TIMEOUT 240)
    message("${ARG_COMMAND}\n-- exit ${exit_code}:\n${output}")
    if(NOT exit_code STREQUAL "${ARG_EXIT}")
        message(FATAL_ERROR "exit code ${exit_code}, expected ${ARG_EXIT}")
    endif()
    if(ARG_OUTPUT AND NOT output MATCHES "${ARG_OUTPUT}")
        message(FATAL_ERROR "the output lacks \"${ARG_OUTPUT}\"")
    endif()
endfunction()

run(COMMAND ${CPACK_COMMAND} --config ${BINARY_DIR}/CPackConfig.cmake -B ${BINARY_DIR}/packages EXIT 0)
set(installer ${BINARY_DIR}/packages/${PACKAGE}.exe)
set(zip ${BINARY_DIR}/packages/${PACKAGE}.zip)
foreach(package IN ITEMS ${installer} ${zip})
    if(NOT EXISTS ${package})
        message(FATAL_ERROR "CPack made no ${package}")
    endif()
endforeach()

# The portable ZIP holds the programs with what they load, and no update file.
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${BINARY_DIR}/packages/zip-content)
file(GLOB_RECURSE zipped RELATIVE ${BINARY_DIR}/packages/zip-content ${BINARY_DIR}/packages/zip-content/*)
foreach(expected IN ITEMS bin/marlune-fwupdate.exe bin/marlune-fwupdate-cli.exe bin/Qt5Core.dll
        bin/libusb-1.0.dll bin/platforms/qwindows.dll bin/marlune-fwupdate-winusb.inf licenses/README.txt)
    if(NOT "${zipped}" MATCHES "${PACKAGE}/${expected}")
        message(FATAL_ERROR "the ZIP lacks ${expected}: ${zipped}")
    endif()
endforeach()
if("${zipped}" MATCHES "\\.ml2")
    message(FATAL_ERROR "the ZIP carries update files: ${zipped}")
endif()

# A Wine prefix of the test's own, made afresh: an installation left registered by an earlier
# run that stopped half-way would make the installer offer to remove it first.
set(ENV{WINEPREFIX} ${WINE_PREFIX}-installer)
file(REMOVE_RECURSE $ENV{WINEPREFIX})
set(install_dir $ENV{WINEPREFIX}/drive_c/marlune-installer-test)
# /D must come last and unquoted.
run(COMMAND ${WINE_RUN} ${installer} /S "/D=C:\\marlune-installer-test" EXIT 0)
set(installed_cli ${install_dir}/bin/marlune-fwupdate-cli.exe)
foreach(expected IN ITEMS ${installed_cli} ${install_dir}/bin/marlune-fwupdate.exe ${install_dir}/Uninstall.exe
        ${install_dir}/bin/marlune-fwupdate-winusb.inf)
    if(NOT EXISTS ${expected})
        message(FATAL_ERROR "the installer did not install ${expected}")
    endif()
endforeach()

run(COMMAND ${WINE_RUN} ${installed_cli} --help EXIT 0 OUTPUT "Usage: .*list")
file(COPY ${STANDIN} DESTINATION ${install_dir}/bin)
set(ENV{MARLUNE_DEMO_DEVICES} "ftdi:DEMO-B")
run(COMMAND ${WINE_RUN} ${installed_cli} list EXIT 0 OUTPUT "usb:m/0 +FTDI bridge +FTDEMO1 +DEMO-B")
file(REMOVE ${install_dir}/bin/ftd2xx.dll)

# In place (_?=), so that the uninstaller has finished when Wine returns.
run(COMMAND ${WINE_RUN} ${install_dir}/Uninstall.exe /S "_?=C:\\marlune-installer-test" EXIT 0)
foreach(gone IN ITEMS ${installed_cli} ${install_dir}/bin/marlune-fwupdate.exe ${install_dir}/bin/Qt5Core.dll)
    if(EXISTS ${gone})
        message(FATAL_ERROR "the uninstaller left ${gone}")
    endif()
endforeach()
file(REMOVE_RECURSE $ENV{WINEPREFIX})
