# Cross-builds the command-line programs for 64-bit Windows with Debian's MinGW-w64 (make windows).
# The POSIX thread model's compilers: the win32 one has no std::thread or std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FDC_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FDC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FDC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FDC_MINGW_PREFIX}-windres)

# Libraries and headers from the cross compiler's own tree only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${FDC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC 12 warns of overlapping copies inside std::string's own inlined code at -O3, wrongly (its
# bug 105651); the Linux build's warnings still catch ours.
set(CMAKE_CXX_FLAGS_INIT -Wno-restrict)

# One .exe each, with the C++ runtime and winpthreads linked in: no DLL to ship beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# The one library from the build machine: nlohmann/json, headers only (see the folder's file).
set(nlohmann_json_DIR ${CMAKE_CURRENT_LIST_DIR}/mingw-w64-json)
