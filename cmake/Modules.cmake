# How the library is put together from its parts (platform, recolour,
# shell), each an object library compiled twice: once for the product and
# once, as <part>_seams, with the test seams (ORVANEPAVONIZE_TEST_SEAMS) that
# tests and the fuzzer use to intercept the end of the process, replace the
# random source or the framework's calls. The shipped library is built only
# from the first set, so it carries no seam.

# orvanepavonize_add_part(<part> SOURCES <file>... [PARTS <part>...]
#   [LINK <library>...] [PRIVATE_INCLUDE <dir>...] [PRIVATE_DEFINITIONS <def>...])
# Makes the object libraries <part> and <part>_seams from the same sources.
# PARTS are other parts this one uses (the seams copy uses their seams
# copies); LINK are other libraries. The calling folder is the part's
# public include directory.
function(orvanepavonize_add_part part)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" ""
                        "SOURCES;PARTS;LINK;PRIVATE_INCLUDE;PRIVATE_DEFINITIONS")
  foreach(variant IN ITEMS "" _seams)
    set(target ${part}${variant})
    add_library(${target} OBJECT ${arg_SOURCES})
    target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    if(arg_PRIVATE_INCLUDE)
      target_include_directories(${target} PRIVATE ${arg_PRIVATE_INCLUDE})
    endif()
    foreach(used IN LISTS arg_PARTS)
      target_link_libraries(${target} PUBLIC ${used}${variant})
    endforeach()
    target_link_libraries(${target} PUBLIC ${arg_LINK})
    target_compile_definitions(${target} PRIVATE ${arg_PRIVATE_DEFINITIONS})
    set_target_properties(${target} PROPERTIES
      POSITION_INDEPENDENT_CODE ON
      CXX_VISIBILITY_PRESET hidden
      VISIBILITY_INLINES_HIDDEN ON)
    orvanepavonize_warnings(${target})
  endforeach()
  # Everything that includes the seams copy's headers sees the seams.
  target_compile_definitions(${part}_seams PUBLIC ORVANEPAVONIZE_TEST_SEAMS)
  # Built only when a test target needs it.
  set_target_properties(${part}_seams PROPERTIES EXCLUDE_FROM_ALL ON)
endfunction()

# orvanepavonize_add_module(<target> STATIC|SHARED PARTS <part>...
#   [TEST_SEAMS] [VERSIONED] [SOURCES <file>...] [EXPORTS <base>])
# Assembles a library from the parts' objects (their seams copies with
# TEST_SEAMS) and any extra SOURCES. A shared one is an extension library
# that exports Pavonize and the entry point and nothing else, as the
# platform's export list <base> says (recolour/exports unless given; see
# Platform.cmake); VERSIONED gives it the project's version and file name.
function(orvanepavonize_add_module target kind)
  cmake_parse_arguments(PARSE_ARGV 2 arg "TEST_SEAMS;VERSIONED" "EXPORTS" "PARTS;SOURCES")
  set(variant "")
  if(arg_TEST_SEAMS)
    set(variant _seams)
  endif()
  set(objects)
  set(parts)
  foreach(part IN LISTS arg_PARTS)
    list(APPEND objects $<TARGET_OBJECTS:${part}${variant}>)
    list(APPEND parts ${part}${variant})
  endforeach()
  add_library(${target} ${kind} ${arg_SOURCES} ${objects})
  if(kind STREQUAL "STATIC")
    # Tests that reach inside see the parts' headers and definitions.
    target_link_libraries(${target} PUBLIC ${parts})
    return()
  endif()
  target_link_libraries(${target} PRIVATE ${parts})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include> $<INSTALL_INTERFACE:include>)
  orvanepavonize_warnings(${target})
  if(NOT arg_EXPORTS)
    set(arg_EXPORTS ${PROJECT_SOURCE_DIR}/recolour/exports)
  endif()
  set(versioned)
  if(arg_VERSIONED)
    set(versioned VERSIONED)
  endif()
  orvanepavonize_platform_shared_library(${target} ${versioned} EXPORTS ${arg_EXPORTS})
endfunction()
