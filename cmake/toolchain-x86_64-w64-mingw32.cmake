# Cross build for 64-bit x86 Windows with Debian's mingw-w64 g++.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(ORVANEPAVONIZE_TARGET_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
