# mingw-w64-x86_64.cmake - cross-compiles gvtool.exe for 64-bit Windows with
# Debian's MinGW-w64 (packages g++-mingw-w64-x86-64-posix and friends).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The posix thread flavour: the win32 one has no std::mutex, which GoogleTest needs.
set(GVTOOL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GVTOOL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GVTOOL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${GVTOOL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${GVTOOL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static, so gvtool.exe runs without MinGW DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
