# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 tool chain
# (packages g++-mingw-w64-x86-64-posix and mingw-w64-x86-64-dev).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# The posix thread model is needed for std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SONDARO_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SONDARO_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SONDARO_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${SONDARO_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SONDARO_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry the compiler's own run-time libraries, so that the .exe
# runs without the MinGW DLLs beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
