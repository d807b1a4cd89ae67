# Cross-compiles for 32-bit Windows with Debian's mingw-w64 i686 toolchain (g++-mingw-w64-i686).
# The posix thread model is chosen explicitly so that the build does not depend on which variant the
# system's alternatives point at; the DLL links its runtime statically either way.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TESSALINE_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TESSALINE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TESSALINE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TESSALINE_MINGW_PREFIX}-windres)
set(CMAKE_AR ${TESSALINE_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TESSALINE_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${TESSALINE_MINGW_PREFIX}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TESSALINE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs built for Windows run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
