# Cross build for 64-bit Windows with MinGW-w64 on Linux; the test programs run under Wine.
#   cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_mingw x86_64-w64-mingw32)
# The -posix variants: std::thread and std::mutex need the winpthreads threading model.
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static (libgcc, libstdc++, winpthread): the .exe files run without DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Debian's wine64 keeps its launcher out of PATH.
find_program(BRIMBLE_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT BRIMBLE_WINE64)
    find_program(BRIMBLE_WINE64 NAMES wine64 wine)
endif()
if(BRIMBLE_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${BRIMBLE_WINE64})
endif()
