# The switch's CPU class: 32-bit big-endian PowerPC, with Debian's cross
# compiler (g++-powerpc-linux-gnu). Its programs run here under qemu-user.
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/powerpc-linux-gnu.cmake \
#         -DCMAKE_FIND_ROOT_PATH=<prefix of the target's libraries>
# scripts/cross-deps builds that prefix; scripts/cross-test does all of it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR powerpc)
set(CMAKE_C_COMPILER powerpc-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER powerpc-linux-gnu-g++)

# The target's libraries come from the given prefix and the cross C library,
# never from the host; its build tools from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/powerpc-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests, test discovery and whatever a test starts run through this.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/bin/qemu-ppc -L /usr/powerpc-linux-gnu)
