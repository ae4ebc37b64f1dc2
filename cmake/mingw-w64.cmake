# Cross build of the Windows console program (64-bit) with Debian's mingw-w64:
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
#   cmake --build build-mingw -j2 --target varnel        # -> build-mingw/varnel.exe
# The posix-threads variant of the compiler: its libstdc++ implements
# std::thread on winpthreads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VARNEL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VARNEL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARNEL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VARNEL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNEL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# printf and friends from mingw's own C99 implementation instead of msvcrt's,
# so "%f" prints a NaN as "nan" (msvcrt: "1.#QNAN0") and every double with the
# same digits as glibc. g++ turns it on for C++ already through libstdc++'s
# configuration; stated here so no include order or runtime change can drop it.
set(CMAKE_CXX_FLAGS_INIT "-D__USE_MINGW_ANSI_STDIO=1")

# One self-contained .exe: libgcc, libstdc++ and winpthread linked in, so it
# needs no DLL beyond those Windows itself ships.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR wine)
