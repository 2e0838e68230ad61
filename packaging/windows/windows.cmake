# Windows: what goes into the installation folder, and the installer (NSIS) and portable ZIP
# that CPack makes of it. Included by packaging/CMakeLists.txt in the Windows build.
#
# Layout: the programs, the DLLs and Qt plugins they load and the WinUSB driver package in
# bin; the licences in licenses; the README. The release catalogue is built into the
# programs; the demo samples never are (resources/firmwares refuses them here as on Linux).

set(MARLUNE_WINDOWS_INSTALL_BIN bin)

install(FILES ${MARLUNE_WINDOWS_RUNTIME_DLLS} DESTINATION ${MARLUNE_WINDOWS_INSTALL_BIN})
set(installed_dlls)
foreach(dll IN LISTS MARLUNE_WINDOWS_RUNTIME_DLLS)
    get_filename_component(dll_name ${dll} NAME)
    list(APPEND installed_dlls ${MARLUNE_WINDOWS_INSTALL_BIN}/${dll_name})
endforeach()
foreach(plugin IN LISTS MARLUNE_WINDOWS_QT_PLUGINS)
    get_filename_component(plugin_folder ${plugin} DIRECTORY)
    install(FILES ${MARLUNE_WINDOWS_DEPS}/plugins/${plugin} DESTINATION ${MARLUNE_WINDOWS_INSTALL_BIN}/${plugin_folder})
    list(APPEND installed_dlls ${MARLUNE_WINDOWS_INSTALL_BIN}/${plugin})
endforeach()
# Stripped as the programs are (CPack strips what it installs, but only the targets of this
# build): the MinGW runtime and libusb come with their debug sections, libstdc++ alone with
# more than 20 MB of them. The run folders of the build keep them.
install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
        foreach(dll IN ITEMS ${installed_dlls})
            execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${dll}\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
    endif()")

# The WinUSB driver package for the maker's devices; its rows come from the USB identity
# table (src/phy), its date from the changelog, and Windows wants CRLF line ends.
string(REPLACE "-" ";" release_date_parts ${MARLUNE_RELEASE_DATE})
list(GET release_date_parts 0 release_year)
list(GET release_date_parts 1 release_month)
list(GET release_date_parts 2 release_day)
set(MARLUNE_WINUSB_DRIVER_DATE "${release_month}/${release_day}/${release_year}")
list(JOIN MARLUNE_WINUSB_MODELS "\r\n" MARLUNE_WINUSB_MODEL_ROWS)
set(winusb_inf ${CMAKE_CURRENT_BINARY_DIR}/windows/marlune-fwupdate-winusb.inf)
configure_file(windows/marlune-fwupdate-winusb.inf.in ${winusb_inf} @ONLY NEWLINE_STYLE CRLF)
install(FILES ${winusb_inf} DESTINATION ${MARLUNE_WINDOWS_INSTALL_BIN})

# Our terms, shown by the installer and installed beside the notices of what ships with the
# programs, which come from this machine's Debian packages. The installer shows the text as
# Windows does, with CRLF line ends; its byte order mark tells NSIS and Notepad it is UTF-8.
set(licence_dir ${CMAKE_CURRENT_BINARY_DIR}/windows/licenses)
set(licence ${licence_dir}/marlune-fwupdate.txt)
configure_file(windows/licence.txt.in ${licence} @ONLY NEWLINE_STYLE CRLF)
configure_file(/usr/share/common-licenses/LGPL-3 ${licence_dir}/qt-LGPL-3.txt COPYONLY)
configure_file(/usr/share/common-licenses/LGPL-2.1 ${licence_dir}/libusb-LGPL-2.1.txt COPYONLY)
configure_file(/usr/share/doc/gcc-mingw-w64-base/copyright ${licence_dir}/mingw-gcc-runtime.txt COPYONLY)
configure_file(/usr/share/doc/mingw-w64-x86-64-dev/copyright ${licence_dir}/mingw-w64-winpthreads.txt COPYONLY)
configure_file(windows/licenses.txt ${licence_dir}/README.txt COPYONLY)
install(DIRECTORY ${licence_dir}/ DESTINATION licenses)

# The README, whose Windows section the installer's last page points to for the drivers.
set(readme ${CMAKE_CURRENT_BINARY_DIR}/windows/README.txt)
configure_file(${PROJECT_SOURCE_DIR}/README.md ${readme} @ONLY NEWLINE_STYLE CRLF)
install(FILES ${readme} DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME ${MARLUNE_APP_ID})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR ${MARLUNE_COMPANY})
set(CPACK_PACKAGE_FILE_NAME ${MARLUNE_APP_ID}-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware update tool for Marlune devices on USB")
set(CPACK_PACKAGE_INSTALL_DIRECTORY ${MARLUNE_PRODUCT_NAME})
# Without the version, so that an upgrade finds the installed version's entry.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ${MARLUNE_APP_ID})
set(CPACK_STRIP_FILES ON)
# The installer is our own (windows/NSIS.template.in); these fill it in.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_SOURCE_DIR}/windows)
set(CPACK_MARLUNE_PRODUCT_NAME ${MARLUNE_PRODUCT_NAME})
set(CPACK_MARLUNE_COPYRIGHT ${MARLUNE_COPYRIGHT})
set(CPACK_MARLUNE_WINDOWS_VERSION ${MARLUNE_WINDOWS_VERSION})
set(CPACK_MARLUNE_RUNNING_MUTEX ${MARLUNE_RUNNING_MUTEX})
set(CPACK_MARLUNE_LICENCE ${licence})
set(CPACK_MARLUNE_ICON ${PROJECT_BINARY_DIR}/resources/pictures/Marlune.ico)
set(MARLUNE_HELP_LINK "https://www.marlune.invalid/firmware-update-tool" CACHE STRING
    "Where the uninstall entry sends a person for help")
set(CPACK_MARLUNE_HELP_LINK ${MARLUNE_HELP_LINK})
include(CPack)
