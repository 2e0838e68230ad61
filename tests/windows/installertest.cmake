# The installer and the ZIP as a Windows user and an IT department meet them. Makes both with
# CPack and reads back the version information and manifests Windows shows, and the
# signatures (checked against SIGNING_CA when the build signs; none otherwise); then, in a
# Wine prefix of its own on a virtual display: installs silently with the command-line tool on
# the system PATH, runs the installed command-line tool (alone, beside the stand-in FTDI driver
# library, and on a history an older version wrote), starts the window, whose second start
# only hands it a file, which the command-line tool names as holding its unit, and which
# keeps an installation over it and the quiet uninstaller from running, closes it and
# uninstalls as the quiet uninstall string does, after which nothing of the installation is
# left but the user's history:
#   cmake -DBINARY_DIR=... -DWINE_RUN=... -DWINE_PREFIX=... -DCPACK_COMMAND=... -DWINDRES=...
#         -DXWININFO=... -DPACKAGE=name -DVERSION=0.28 -DWINDOWS_VERSION=0.28.0.0 -DSTANDIN=path/ftd2xx.dll
#         -DSAMPLE=path/DEMO-B.ml2 -DOSSLSIGNCODE=... -DSIGNED=ON|OFF [-DSIGNING_CA=ca.pem]
#         -P installertest.cmake
# Sizes are printed, not checked.
function(run)
    cmake_parse_arguments(ARG "" "EXIT;OUTPUT_VARIABLE" "COMMAND;OUTPUT" ${ARGN})
    execute_process(COMMAND ${ARG_COMMAND} RESULT_VARIABLE exit_code OUTPUT_VARIABLE output
                    ERROR_VARIABLE output TIMEOUT 240)
    message("${ARG_COMMAND}\n-- exit ${exit_code}:\n${output}")
    if(NOT exit_code STREQUAL "${ARG_EXIT}")
        message(FATAL_ERROR "exit code ${exit_code}, expected ${ARG_EXIT}")
    endif()
    foreach(pattern IN LISTS ARG_OUTPUT)
        if(NOT output MATCHES "${pattern}")
            message(FATAL_ERROR "the output lacks \"${pattern}\"")
        endif()
    endforeach()
    if(ARG_OUTPUT_VARIABLE)
        set(${ARG_OUTPUT_VARIABLE} "${output}" PARENT_SCOPE)
    endif()
endfunction()

function(expect_files state)
    foreach(file IN LISTS ARGN)
        if(state STREQUAL "PRESENT" AND NOT EXISTS "${file}")
            message(FATAL_ERROR "${file} is missing")
        elseif(state STREQUAL "ABSENT" AND EXISTS "${file}")
            message(FATAL_ERROR "${file} is left")
        endif()
    endforeach()
endfunction()

# What Windows reads of a program or installer: its resources, as the resource compiler
# writes them back.
function(expect_resources file)
    run(COMMAND ${WINDRES} --input=${file} --input-format=coff --output-format=rc EXIT 0 OUTPUT_VARIABLE resources)
    string(REPLACE "." ", " file_version ${WINDOWS_VERSION})
    foreach(pattern "FILEVERSION ${file_version}" "PRODUCTVERSION ${file_version}"
            "VALUE \"ProductName\", \"Marlune Firmware Update Tool\"" "VALUE \"CompanyName\", \"Marlune\""
            "VALUE \"ProductVersion\", \"${VERSION}\"" "VALUE \"FileVersion\", \"${VERSION}\""
            "VALUE \"LegalCopyright\", L?\"Copyright .* 20[0-9][0-9] Marlune\"" "VALUE \"FileDescription\", \"Marlune"
            ${ARGN})
        if(NOT resources MATCHES "${pattern}")
            message(FATAL_ERROR "${file}'s resources lack \"${pattern}\"")
        endif()
    endforeach()
endfunction()

# A key of the registry as reg.exe lists it, with its values; empty when the key is missing.
function(registry_key key variable)
    execute_process(COMMAND ${WINE_RUN} reg query ${key} RESULT_VARIABLE exit_code OUTPUT_VARIABLE output
                    ERROR_QUIET)
    if(NOT exit_code EQUAL 0)
        set(output "")
    endif()
    set(${variable} "${output}" PARENT_SCOPE)
endfunction()

# A value in such a listing ("(Default)" for the key's own); empty when it is missing.
function(registry_value listing name variable)
    string(REGEX REPLACE "([()])" "\\\\\\1" name_pattern "${name}")
    set(value "")
    if(listing MATCHES "\n    ${name_pattern}    REG_[A-Z_]+    ([^\r\n]*)")
        set(value "${CMAKE_MATCH_1}")
    endif()
    set(${variable} "${value}" PARENT_SCOPE)
endfunction()

function(system_path variable)
    registry_key("HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment" environment)
    registry_value("${environment}" PATH value)
    set(${variable} "${value}" PARENT_SCOPE)
endfunction()

# Every file signed with SHA-256 by a certificate SIGNING_CA issued, or, in a build that does
# not sign, none signed at all.
function(expect_signatures)
    foreach(file IN LISTS ARGN)
        if(SIGNED)
            run(COMMAND ${OSSLSIGNCODE} verify -CAfile ${SIGNING_CA} -in ${file} EXIT 0
                OUTPUT "Message digest algorithm *: SHA256" "Signature verification: ok")
        else()
            run(COMMAND ${OSSLSIGNCODE} verify -in ${file} EXIT 1 OUTPUT "No signature found")
        endif()
    endforeach()
endfunction()

function(print_size label path)
    if(IS_DIRECTORY ${path})
        file(GLOB_RECURSE files ${path}/*)
    else()
        set(files ${path})
    endif()
    set(bytes 0)
    foreach(file IN LISTS files)
        file(SIZE ${file} size)
        math(EXPR bytes "${bytes} + ${size}")
    endforeach()
    math(EXPR kib "${bytes} / 1024")
    message(STATUS "${label}: ${kib} KiB")
endfunction()

run(COMMAND ${CPACK_COMMAND} --config ${BINARY_DIR}/CPackConfig.cmake -B ${BINARY_DIR}/packages EXIT 0)
set(installer ${BINARY_DIR}/packages/${PACKAGE}.exe)
set(zip ${BINARY_DIR}/packages/${PACKAGE}.zip)
expect_files(PRESENT ${installer} ${zip})
print_size("Installer" ${installer})
expect_resources(${installer} "VALUE \"FileDescription\", \"Marlune Firmware Update Tool setup\"")
expect_signatures(${installer})

# The portable ZIP holds the programs with what they load, and no update file.
file(ARCHIVE_EXTRACT INPUT ${zip} DESTINATION ${BINARY_DIR}/packages/zip-content)
file(GLOB_RECURSE zipped RELATIVE ${BINARY_DIR}/packages/zip-content ${BINARY_DIR}/packages/zip-content/*)
foreach(expected IN ITEMS bin/marlune-fwupdate.exe bin/marlune-fwupdate-cli.exe bin/Qt5Core.dll
        bin/libusb-1.0.dll bin/platforms/qwindows.dll bin/marlune-fwupdate-winusb.inf licenses/README.txt
        licenses/marlune-fwupdate.txt guide.html)
    if(NOT "${zipped}" MATCHES "${PACKAGE}/${expected}")
        message(FATAL_ERROR "the ZIP lacks ${expected}: ${zipped}")
    endif()
endforeach()
if("${zipped}" MATCHES "\\.ml2")
    message(FATAL_ERROR "the ZIP carries update files: ${zipped}")
endif()

# A Wine prefix of the test's own, made afresh: an installation left registered by an earlier
# run that stopped half-way would be taken for one to upgrade. Wine writes no menu entries of
# the shortcuts into the machine's own desktop.
set(ENV{WINEPREFIX} ${WINE_PREFIX}-installer)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml,winemenubuilder.exe=")
file(REMOVE_RECURSE $ENV{WINEPREFIX})

# The system PATH before: an entry that begins as the installation's bin folder is another
# folder, which the installer and the uninstaller leave alone. Given whole, as one argument:
# run() would take the PATH's semicolons for list separators.
system_path(original_path)
set(original_path "${original_path};C:\\marlune-installer-test\\bin-tools")
execute_process(COMMAND ${WINE_RUN} reg add "HKLM\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment"
                        /v PATH /t REG_EXPAND_SZ /d "${original_path}" /f
                RESULT_VARIABLE exit_code)
if(NOT exit_code EQUAL 0)
    message(FATAL_ERROR "the system PATH could not be set: exit code ${exit_code}")
endif()

set(install_dir $ENV{WINEPREFIX}/drive_c/marlune-installer-test)
set(installed_bin ${install_dir}/bin)
set(start_menu "$ENV{WINEPREFIX}/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Marlune Firmware Update Tool")
# /D must come last and unquoted.
run(COMMAND ${WINE_RUN} ${installer} /S /ADDTOPATH "/D=C:\\marlune-installer-test" EXIT 0)
set(installed ${installed_bin}/marlune-fwupdate-cli.exe ${installed_bin}/marlune-fwupdate.exe
    ${installed_bin}/Qt5Core.dll ${installed_bin}/libstdc++-6.dll ${installed_bin}/platforms/qwindows.dll
    ${installed_bin}/marlune-fwupdate-winusb.inf ${install_dir}/licenses/marlune-fwupdate.txt
    ${install_dir}/guide.html ${install_dir}/Uninstall.exe
    "${start_menu}/Marlune Firmware Update Tool.lnk" "${start_menu}/Marlune Firmware Update Tool Command Prompt.lnk")
expect_files(PRESENT ${installed})
print_size("Installed" ${install_dir})
expect_resources(${installed_bin}/marlune-fwupdate.exe "VALUE \"OriginalFilename\", \"marlune-fwupdate.exe\""
    "ICON" "PerMonitor<" "Microsoft.Windows.Common-Controls" "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")
expect_resources(${installed_bin}/marlune-fwupdate-cli.exe "VALUE \"OriginalFilename\", \"marlune-fwupdate-cli.exe\""
    "ICON" "Microsoft.Windows.Common-Controls" "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a")
expect_resources(${install_dir}/Uninstall.exe "VALUE \"FileDescription\", \"Marlune Firmware Update Tool uninstaller\"")
file(GLOB_RECURSE installed_programs ${installed_bin}/*.exe ${installed_bin}/*.dll)
expect_signatures(${installed_programs} ${install_dir}/Uninstall.exe)

# The uninstall entry says all an inventory asks; the App Paths entry leads to the window.
set(uninstall_key "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\marlune-fwupdate")
set(app_paths_key "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\marlune-fwupdate.exe")
registry_key(${uninstall_key} uninstall_entry)
foreach(entry IN ITEMS "DisplayName=Marlune Firmware Update Tool" "DisplayVersion=${VERSION}" "Publisher=Marlune"
        "InstallLocation=C:\\\\marlune-installer-test$" "HelpLink=https?://"
        "DisplayIcon=C:\\\\marlune-installer-test\\\\bin\\\\marlune-fwupdate.exe"
        "UninstallString=\"C:\\\\marlune-installer-test\\\\Uninstall.exe\"$"
        "QuietUninstallString=\"C:\\\\marlune-installer-test\\\\Uninstall.exe\" /S _\\?=C:\\\\marlune-installer-test$"
        "EstimatedSize=0x[0-9a-f]+$")
    string(REGEX MATCH "^[A-Za-z]+" name "${entry}")
    string(REGEX REPLACE "^[A-Za-z]+=" "" pattern "${entry}")
    registry_value("${uninstall_entry}" ${name} value)
    if(NOT value MATCHES "^${pattern}")
        message(FATAL_ERROR "the uninstall entry's ${name} is \"${value}\", not \"${pattern}\"")
    endif()
endforeach()
registry_key(${app_paths_key} app_paths_entry)
registry_value("${app_paths_entry}" "(Default)" window_path)
if(NOT window_path STREQUAL "C:\\marlune-installer-test\\bin\\marlune-fwupdate.exe")
    message(FATAL_ERROR "the App Paths entry leads to \"${window_path}\"")
endif()
system_path(installed_path)
if(NOT installed_path STREQUAL "${original_path};C:\\marlune-installer-test\\bin")
    message(FATAL_ERROR "the system PATH is \"${installed_path}\" after the installation")
endif()

run(COMMAND ${WINE_RUN} ${installed_bin}/marlune-fwupdate-cli.exe --help EXIT 0 OUTPUT "Usage: .*list")
file(COPY ${STANDIN} DESTINATION ${installed_bin})
set(ENV{MARLUNE_DEMO_DEVICES} "ftdi:DEMO-B")
run(COMMAND ${WINE_RUN} ${installed_bin}/marlune-fwupdate-cli.exe list EXIT 0
    OUTPUT "usb:m/0 +FTDI bridge +FTDEMO1 +DEMO-B")

# A history line as an older version wrote it, with forward slashes: read, it shows the
# system's backslashes, in the table and in JSON, as does the history's own path.
file(GLOB local_app_data $ENV{WINEPREFIX}/drive_c/users/*/AppData/Local)
set(history ${local_app_data}/marlune-fwupdate/history.jsonl)
file(WRITE ${history} [[{"time":"2026-12-07T10:00:00.000Z","model":"DEMO-B","link":"ftdi-bridge","serial":"FT1",]]
                      [["address":"usb:m/0","versionBefore":"1.00","file":"C:/Rig files/DEMO-B.ml2",]]
                      [["fileSha256":"5e1f","versionWritten":"1.03","verdict":"succeeded","reason":"",]]
                      [["versionAfter":"1.03"}]] "\n")
run(COMMAND ${WINE_RUN} ${installed_bin}/marlune-fwupdate-cli.exe history EXIT 0
    OUTPUT "C:\\\\Rig files\\\\DEMO-B\\.ml2")
run(COMMAND ${WINE_RUN} ${installed_bin}/marlune-fwupdate-cli.exe history --json EXIT 0
    OUTPUT "\"file\": \"C:\\\\\\\\Rig files\\\\\\\\DEMO-B\\.ml2\""
           "\"path\": \"C:\\\\\\\\[Uu]sers\\\\\\\\[^\"]+\\\\\\\\marlune-fwupdate\\\\\\\\history\\.jsonl\"")

# With the window running, neither an installation over it nor the uninstaller touches
# anything. The window runs as a person starts it, on the display, beside the stand-in FTDI
# driver library; it is up once it is shown.
function(window_count variable)
    execute_process(COMMAND sh -c "\"$0\" -root -tree 2>/dev/null | grep -c '\"Marlune Firmware Update Tool'" ${XWININFO}
                    OUTPUT_VARIABLE count OUTPUT_STRIP_TRAILING_WHITESPACE)
    set(${variable} ${count} PARENT_SCOPE)
endfunction()
execute_process(COMMAND sh -c "\"$0\" \"$1\" >/dev/null 2>&1 & echo $!" ${WINE_RUN} ${window_path}
                OUTPUT_VARIABLE window_process OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND sh -c "until \"$0\" -root -tree 2>/dev/null | grep -q 'Marlune Firmware Update Tool'; do sleep 0.5; done"
                        ${XWININFO} TIMEOUT 120 RESULT_VARIABLE shown)
if(NOT shown EQUAL 0)
    message(FATAL_ERROR "the installed window did not show")
endif()
# A second start, as with "Open with", hands the running window the file and ends: still one
# window.
window_count(windows_before)
file(COPY ${SAMPLE} DESTINATION ${install_dir}-files)
run(COMMAND ${WINE_RUN} ${window_path} "C:\\marlune-installer-test-files\\DEMO-B.ml2" EXIT 0)
window_count(windows_after)
if(NOT windows_after EQUAL windows_before)
    message(FATAL_ERROR "a second start showed a window of its own: ${windows_before} X windows before, ${windows_after} after")
endif()
# The window holds the bridge; the command-line tool, which finds it held, says so. The window
# selects it a moment after it shows.
set(ENV{MARLUNE_DEMO_DEVICES} "ftdi:DEMO-B,held")
foreach(attempt RANGE 20)
    execute_process(COMMAND ${WINE_RUN} ${installed_bin}/marlune-fwupdate-cli.exe update --device FTDEMO1
                            "C:\\marlune-installer-test-files\\DEMO-B.ml2"
                    RESULT_VARIABLE exit_code OUTPUT_VARIABLE output ERROR_VARIABLE output TIMEOUT 120)
    if(output MATCHES "window holds FTDEMO1")
        break()
    endif()
    execute_process(COMMAND sleep 1)
endforeach()
message("marlune-fwupdate-cli update --device FTDEMO1 beside the window\n-- exit ${exit_code}:\n${output}")
if(NOT exit_code EQUAL 3 OR NOT output MATCHES "The Marlune Firmware Update Tool window holds FTDEMO1: close the window")
    message(FATAL_ERROR "the command-line tool did not name the window that holds its unit")
endif()
run(COMMAND ${WINE_RUN} ${installer} /S "/D=C:\\marlune-installer-test" EXIT 2)
# As the QuietUninstallString runs it: in place (_?=), so that it is waited for and Wine
# returns with the uninstaller's own exit code.
run(COMMAND ${WINE_RUN} ${install_dir}/Uninstall.exe /S "_?=C:\\marlune-installer-test" EXIT 2)
expect_files(PRESENT ${installed})
registry_key(${uninstall_key} kept_entry)
if(NOT kept_entry STREQUAL uninstall_entry)
    message(FATAL_ERROR "the refused uninstaller changed the uninstall entry:\n${kept_entry}")
endif()

# Closed as a person closes it; then the quiet uninstaller runs as before, waited for, and
# the whole folder goes, the uninstaller's own file too.
run(COMMAND ${WINE_RUN} taskkill /IM marlune-fwupdate.exe EXIT 0)
execute_process(COMMAND sh -c "while kill -0 $0 2>/dev/null; do sleep 0.2; done" ${window_process} TIMEOUT 60)
file(REMOVE ${installed_bin}/ftd2xx.dll)
run(COMMAND ${WINE_RUN} ${install_dir}/Uninstall.exe /S "_?=C:\\marlune-installer-test" EXIT 0)
# Its own file goes a moment after it ended, by a copy of it that Wine's server outlives.
run(COMMAND wineserver -w EXIT 0)
expect_files(ABSENT ${install_dir} ${start_menu})
expect_files(PRESENT ${history})
foreach(key IN ITEMS ${uninstall_key} ${app_paths_key} "HKLM\\Software\\Marlune")
    registry_key(${key} left)
    if(left)
        message(FATAL_ERROR "the registry keeps ${key}:\n${left}")
    endif()
endforeach()
system_path(uninstalled_path)
if(NOT uninstalled_path STREQUAL original_path)
    message(FATAL_ERROR "the system PATH is \"${uninstalled_path}\" after the uninstallation, "
                        "\"${original_path}\" before")
endif()
file(REMOVE_RECURSE $ENV{WINEPREFIX})
