# Cross build for Windows with Debian's MinGW-w64 compilers:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/windows/toolchain-mingw.cmake -DVRO_WINDOWS_ARCH=i686|x86_64
# The -posix variants: the default win32 thread model has no std::mutex or std::thread.
if(NOT VRO_WINDOWS_ARCH)
    set(VRO_WINDOWS_ARCH x86_64)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VRO_WINDOWS_ARCH VRO_WINDOWS_DEPS)

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${VRO_WINDOWS_ARCH})
set(triple ${VRO_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)

# 32-bit x86 defaults to x87 arithmetic, which keeps intermediates in 80 bits and so renders other
# samples than every other build; SSE2 rounds each step to its type.
if(VRO_WINDOWS_ARCH STREQUAL "i686")
    set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
    set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
endif()

# zlib, libpng and libjpeg for the target live in VRO_WINDOWS_DEPS (scripts/build-windows.sh).
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${VRO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# A library that needs only Windows' own DLLs: no libgcc, libstdc++ or winpthread beside it.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
