# Cross build for 32-bit x86 Windows with Debian's mingw-w64 g++.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(ORVANEPAVONIZE_TARGET_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
