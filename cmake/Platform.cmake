# The platform the build is for, decided here once: cmake/platforms/ has one
# file per platform, named as CMake names the system (CMAKE_SYSTEM_NAME), and
# that file is the only place that knows what differs there. Adding a
# platform is one new file there plus the sources that are new to it.
#
# A platform file sets:
#   ORVANEPAVONIZE_PLATFORM_SOURCES   platform/: the layer over the C library and OS
#   ORVANEPAVONIZE_SHELL_SOURCES      shell/: the entry point the platform's loader calls
#   ORVANEPAVONIZE_RESOURCE_CONTAINER how the identity resources are carried:
#                                     elf-note (a generated source) or
#                                     resource-files (files a resource script embeds)
#   ORVANEPAVONIZE_RESOURCE_SOURCES   shell/: what embeds them, for resource-files
#   ORVANEPAVONIZE_FRAMEWORK_SOURCES  framework/: the loader and resource look-up,
#                                     where the platform has none of its own
#   ORVANEPAVONIZE_HOST_SOURCES       host/: the command line's platform files
#   ORVANEPAVONIZE_WITH_HOST, ORVANEPAVONIZE_WITH_PYTHON,
#   ORVANEPAVONIZE_WITH_DEBIAN_PACKAGES, ORVANEPAVONIZE_WITH_FUZZING
#                                     which of those apply
#   ORVANEPAVONIZE_WITH_HARDENING     whether the binaries take the hardening
#                                     flags of Hardening.cmake
#   ORVANEPAVONIZE_TEST_FOLDER        the folder of the platform's tests
#   ORVANEPAVONIZE_TESTS_NEED_GTEST   whether those are GoogleTest programs
# and defines:
#   orvanepavonize_platform_shared_library(<target> [VERSIONED] [EXPORTS <base>])
#     the file's name and its version spelling, and what it exports: the
#     symbols <base> lists (in the platform's form of that list)
#   orvanepavonize_loaded_file_name(<name> <out_var>)
#     the file name the platform's loader knows library <name> by
set(ORVANEPAVONIZE_PLATFORM_FILE ${CMAKE_CURRENT_LIST_DIR}/platforms/${CMAKE_SYSTEM_NAME}.cmake)
if(NOT EXISTS ${ORVANEPAVONIZE_PLATFORM_FILE})
  message(FATAL_ERROR "OrvanePavonize has no description of ${CMAKE_SYSTEM_NAME}: "
                      "add cmake/platforms/${CMAKE_SYSTEM_NAME}.cmake (Linux.cmake shows what it holds)")
endif()
include(${ORVANEPAVONIZE_PLATFORM_FILE})
