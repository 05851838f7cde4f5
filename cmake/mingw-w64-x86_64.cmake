# Cross build for 64-bit Windows with Debian's MinGW-w64.
# The -posix compilers carry the winpthreads thread model that GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TARVEX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVEX_MINGW_PREFIX})
# Cross-built libraries outside the MinGW tree (scripts/mingw_libjpeg.sh) are
# passed as prefixes; searches are confined to the roots, so they are roots too.
list(APPEND CMAKE_FIND_ROOT_PATH ${CMAKE_PREFIX_PATH} ${JPEG_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Self-contained executables: no libgcc, libstdc++ or winpthread DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
