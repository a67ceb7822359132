# Cross build for 64-bit Windows with Debian's mingw-w64; programs run under Wine.
#
# The posix thread-model compilers: the default (win32) ones lack std::mutex, std::shared_mutex and
# std::condition_variable.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(mingw_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   /usr/bin/${mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER  /usr/bin/${mingw_triple}-windres)

# Libraries, headers and packages come from the mingw sysroot only: the host's /usr/include would bring
# glibc's headers. Third-party header-only libraries are reached through cmake/Dependencies.cmake.
set(CMAKE_FIND_ROOT_PATH /usr/${mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread linked into every module, so that each imports only KERNEL32, msvcrt,
# the system's COM DLLs and this project's own DLLs, and runs from its folder without mingw's DLLs.
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT -static)
endforeach()

# Every build folder has a Wine prefix of its own, so that two builds never share a wineserver.
set(COLLECTOR_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/bin/env WINEPREFIX=${COLLECTOR_WINEPREFIX} ${CMAKE_CURRENT_LIST_DIR}/wine-emulator.sh)
