# Shared part of the mingw-w64 toolchain files: set ORVANEPAVONIZE_TARGET_TRIPLE
# and include this. Programs built here run under Wine, which CMake puts in
# front of every test and every build-time tool.
set(CMAKE_SYSTEM_NAME Windows)

# The posix thread model: the win32 one of this g++ has no std::mutex.
set(CMAKE_C_COMPILER ${ORVANEPAVONIZE_TARGET_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVANEPAVONIZE_TARGET_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ORVANEPAVONIZE_TARGET_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ORVANEPAVONIZE_TARGET_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libgcc, libstdc++, winpthread) is linked in, so
# the DLL and the programs need nothing beside them but Windows itself.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Wine's loader for the target. Debian keeps the 64-bit one out of PATH, and
# its `wine` script takes the 32-bit one whenever that is installed.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  find_program(ORVANEPAVONIZE_WINE NAMES wine64 wine PATHS /usr/lib/wine REQUIRED)
else()
  find_program(ORVANEPAVONIZE_WINE NAMES wine PATHS /usr/lib/wine REQUIRED)
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${ORVANEPAVONIZE_WINE})
