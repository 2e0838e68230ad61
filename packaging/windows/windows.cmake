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

# The user's guide, which the installer's last page offers to open; the README is the
# developers'.
install(FILES ${MARLUNE_GUIDE} DESTINATION .)

# Authenticode signatures, with the maker's certificate: never in the repository, named when
# configuring. Both programs and every DLL and plugin beside them are signed as they are
# installed (after stripping, which would break a signature), the uninstaller and the
# installer as makensis writes them (sign.cmake).
set(MARLUNE_SIGN_CERTIFICATE "" CACHE FILEPATH "Code-signing certificate (PEM) for the Windows programs and installer")
set(MARLUNE_SIGN_KEY "" CACHE FILEPATH "The private key (PEM) of MARLUNE_SIGN_CERTIFICATE")
set(MARLUNE_SIGN_PKCS12 "" CACHE FILEPATH "Instead of certificate and key: both in one PKCS#12 file")
set(MARLUNE_SIGN_PASSWORD_FILE "" CACHE FILEPATH "A file holding the password of the key or PKCS#12 file, if it has one")
set(MARLUNE_SIGN_TIMESTAMP_URL "" CACHE STRING "RFC 3161 timestamp server, so that signatures outlive the certificate")
set(MARLUNE_SIGN_CREDENTIALS "")
if(MARLUNE_SIGN_PKCS12 AND (MARLUNE_SIGN_CERTIFICATE OR MARLUNE_SIGN_KEY))
    message(FATAL_ERROR "Name either MARLUNE_SIGN_PKCS12 or MARLUNE_SIGN_CERTIFICATE with MARLUNE_SIGN_KEY, not both")
elseif(MARLUNE_SIGN_PKCS12)
    set(MARLUNE_SIGN_CREDENTIALS "-pkcs12;${MARLUNE_SIGN_PKCS12}")
elseif(MARLUNE_SIGN_CERTIFICATE AND MARLUNE_SIGN_KEY)
    set(MARLUNE_SIGN_CREDENTIALS "-certs;${MARLUNE_SIGN_CERTIFICATE};-key;${MARLUNE_SIGN_KEY}")
elseif(MARLUNE_SIGN_CERTIFICATE OR MARLUNE_SIGN_KEY)
    message(FATAL_ERROR "MARLUNE_SIGN_CERTIFICATE and MARLUNE_SIGN_KEY are needed together")
endif()
if(MARLUNE_SIGN_CREDENTIALS)
    set(MARLUNE_SIGN ON)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    foreach(file IN ITEMS ${MARLUNE_SIGN_CERTIFICATE} ${MARLUNE_SIGN_KEY} ${MARLUNE_SIGN_PKCS12} ${MARLUNE_SIGN_PASSWORD_FILE})
        if(NOT EXISTS ${file})
            message(FATAL_ERROR "${file}, named for signing, does not exist")
        endif()
    endforeach()
    if(MARLUNE_SIGN_PASSWORD_FILE)
        list(APPEND MARLUNE_SIGN_CREDENTIALS -readpass ${MARLUNE_SIGN_PASSWORD_FILE})
    endif()
    set(MARLUNE_SIGN_TIMESTAMP "")
    if(MARLUNE_SIGN_TIMESTAMP_URL)
        set(MARLUNE_SIGN_TIMESTAMP "-ts;${MARLUNE_SIGN_TIMESTAMP_URL}")
        message(STATUS "Windows programs and installer: signed, timestamped by ${MARLUNE_SIGN_TIMESTAMP_URL}")
    else()
        message(STATUS "Windows programs and installer: signed, without a timestamp (MARLUNE_SIGN_TIMESTAMP_URL)")
    endif()
else()
    set(MARLUNE_SIGN OFF)
    message(STATUS "Windows programs and installer: not signed (no MARLUNE_SIGN_CERTIFICATE or MARLUNE_SIGN_PKCS12)")
endif()
set(MARLUNE_HELP_LINK "https://www.marlune.invalid/firmware-update-tool" CACHE STRING
    "Where the uninstall entry sends a person for help")
set(sign_script ${CMAKE_CURRENT_BINARY_DIR}/windows/sign.cmake)
configure_file(windows/sign.cmake.in ${sign_script} @ONLY)
if(MARLUNE_SIGN)
    install(CODE "
        file(GLOB_RECURSE signed LIST_DIRECTORIES false
             \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${MARLUNE_WINDOWS_INSTALL_BIN}/*.exe\"
             \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${MARLUNE_WINDOWS_INSTALL_BIN}/*.dll\")
        foreach(file IN LISTS signed)
            execute_process(COMMAND \"${CMAKE_COMMAND}\" -DFILE=\${file} -P \"${sign_script}\"
                            COMMAND_ERROR_IS_FATAL ANY)
        endforeach()
        list(LENGTH signed count)
        message(STATUS \"Signed \${count} programs and DLLs\")")
else()
    install(CODE "message(STATUS \"The programs and DLLs are not signed: no certificate was named\")")
endif()

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
set(CPACK_MARLUNE_HELP_LINK ${MARLUNE_HELP_LINK})
set(CPACK_MARLUNE_WELCOME_BITMAP ${PROJECT_BINARY_DIR}/resources/pictures/installer-welcome.bmp)
# makensis makes the uninstaller in a pass of its own, which the installer's pass starts.
find_program(MAKENSIS makensis REQUIRED)
set(CPACK_MARLUNE_MAKENSIS ${MAKENSIS})
set(CPACK_MARLUNE_UNINSTALLER ${CMAKE_CURRENT_BINARY_DIR}/windows/Uninstall.exe)
set(CPACK_MARLUNE_CMAKE ${CMAKE_COMMAND})
set(CPACK_MARLUNE_SIGN_SCRIPT ${sign_script})
include(CPack)
