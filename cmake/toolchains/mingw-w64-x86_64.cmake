# Cross-builds the Windows program on Linux with MinGW-w64 (the windows preset).
#
# The posix thread model's compilers: the default win32 model of GCC 12 has no std::thread
# or std::mutex. Qt and libusb come from the folder that scripts/build-windows-deps builds
# and prints, named by MARLUNE_WINDOWS_DEPS (a cache variable, or the environment variable
# of that name on the first configure).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT MARLUNE_WINDOWS_DEPS)
    set(MARLUNE_WINDOWS_DEPS "$ENV{MARLUNE_WINDOWS_DEPS}")
endif()
if(NOT EXISTS "${MARLUNE_WINDOWS_DEPS}/.complete")
    message(FATAL_ERROR "MARLUNE_WINDOWS_DEPS (\"${MARLUNE_WINDOWS_DEPS}\") is not a finished build of "
                        "scripts/build-windows-deps; run it and pass the folder it prints")
endif()
set(MARLUNE_WINDOWS_DEPS "${MARLUNE_WINDOWS_DEPS}" CACHE PATH "The Windows dependencies' folder")
# The compiler checks run in projects of their own, which see only the variables listed here.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MARLUNE_WINDOWS_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 "${MARLUNE_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must describe the Windows libusb, never the machine's own.
set(ENV{PKG_CONFIG_LIBDIR} "${MARLUNE_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
