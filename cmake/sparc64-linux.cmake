# Cross build of the SPARC program (64-bit, big-endian) with Debian's
# sparc64-linux-gnu toolchain:
#   cmake -S . -B build-sparc -DCMAKE_TOOLCHAIN_FILE=cmake/sparc64-linux.cmake
#   cmake --build build-sparc -j2 --target varnel_sol    # -> build-sparc/varnel_sol
# Linked statically, so it runs on a machine without the sparc64 libraries and
# under qemu-sparc64-static without a library root.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR sparc64)

set(VARNEL_SPARC_PREFIX sparc64-linux-gnu)
set(CMAKE_C_COMPILER ${VARNEL_SPARC_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VARNEL_SPARC_PREFIX}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNEL_SPARC_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-sparc64-static)
