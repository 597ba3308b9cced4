# Cross build for 32-bit ARM Linux (hard-float), with Debian's cross g++.
# Programs built here run under qemu-arm; CMake puts it in front of every
# test and every build-time tool, and the tests put it in front of the
# programs they start, since binfmt may not be registered on the build host.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(ORVANEPAVONIZE_TARGET_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${ORVANEPAVONIZE_TARGET_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ORVANEPAVONIZE_TARGET_TRIPLE}-g++)

# The target's libraries and headers, where Debian's cross packages put them.
set(ORVANEPAVONIZE_TARGET_ROOT /usr/${ORVANEPAVONIZE_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH ${ORVANEPAVONIZE_TARGET_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -L points qemu at the target's dynamic loader and C library.
find_program(ORVANEPAVONIZE_QEMU_ARM qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANEPAVONIZE_QEMU_ARM} -L ${ORVANEPAVONIZE_TARGET_ROOT})
