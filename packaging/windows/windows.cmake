# Windows: what goes into the installation folder, and the installer (NSIS) and portable ZIP
# that CPack makes of it. Included by packaging/CMakeLists.txt in the Windows build.
#
# Layout: the programs, the DLLs and Qt plugins they load and the WinUSB driver package in
# bin; the licences in licenses. The release catalogue is built into the programs; the demo
# samples never are (resources/firmwares refuses them here as on Linux).

set(MARLUNE_WINDOWS_INSTALL_BIN bin)

install(FILES ${MARLUNE_WINDOWS_RUNTIME_DLLS} DESTINATION ${MARLUNE_WINDOWS_INSTALL_BIN})
foreach(plugin IN LISTS MARLUNE_WINDOWS_QT_PLUGINS)
    get_filename_component(plugin_folder ${plugin} DIRECTORY)
    install(FILES ${MARLUNE_WINDOWS_DEPS}/plugins/${plugin} DESTINATION ${MARLUNE_WINDOWS_INSTALL_BIN}/${plugin_folder})
endforeach()

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

# Our terms and those of what ships with the programs, from this machine's Debian packages.
set(licence_dir ${CMAKE_CURRENT_BINARY_DIR}/windows/licenses)
configure_file(linux/copyright ${licence_dir}/marlune-fwupdate.txt COPYONLY)
configure_file(/usr/share/common-licenses/LGPL-3 ${licence_dir}/qt-LGPL-3.txt COPYONLY)
configure_file(/usr/share/common-licenses/LGPL-2.1 ${licence_dir}/libusb-LGPL-2.1.txt COPYONLY)
configure_file(/usr/share/doc/gcc-mingw-w64-base/copyright ${licence_dir}/mingw-gcc-runtime.txt COPYONLY)
configure_file(/usr/share/doc/mingw-w64-x86-64-dev/copyright ${licence_dir}/mingw-w64-winpthreads.txt COPYONLY)
configure_file(windows/licenses.txt ${licence_dir}/README.txt COPYONLY)
install(DIRECTORY ${licence_dir}/ DESTINATION licenses)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME ${MARLUNE_APP_ID})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Marlune)
set(CPACK_PACKAGE_FILE_NAME ${MARLUNE_APP_ID}-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware update tool for Marlune devices on USB")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Marlune Firmware Update Tool")
set(CPACK_PACKAGE_EXECUTABLES marlune-fwupdate "Marlune Firmware Update Tool")
set(CPACK_RESOURCE_FILE_LICENSE ${licence_dir}/marlune-fwupdate.txt)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_PACKAGE_NAME "Marlune Firmware Update Tool ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Marlune Firmware Update Tool")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ${MARLUNE_WINDOWS_INSTALL_BIN})
set(CPACK_NSIS_INSTALLED_ICON_NAME "${MARLUNE_WINDOWS_INSTALL_BIN}\\\\marlune-fwupdate.exe")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# A 64-bit installer for a 64-bit program: it installs into the 64-bit Program Files and
# runs where no 32-bit subsystem is installed.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
if(TARGET marlune_paintpictures)
    set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/resources/pictures/Marlune.ico)
    set(CPACK_NSIS_MUI_UNIICON ${PROJECT_BINARY_DIR}/resources/pictures/Marlune.ico)
endif()
include(CPack)
