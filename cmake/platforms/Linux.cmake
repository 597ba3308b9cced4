# Linux: ELF shared objects with a version script, loaded by the framework
# stand-in's dlopen loader, which finds the identity resources in an ELF note.
set(ORVANEPAVONIZE_PLATFORM_SOURCES
  call_lock_posix.cpp console.cpp file_attributes_linux.cpp input_file_posix.cpp memory_linux.cpp
  output_file_posix.cpp output_path_posix.cpp temporary_file_posix.cpp text_conversion_utf8.cpp)
set(ORVANEPAVONIZE_SHELL_SOURCES entry_point_posix.cpp)
set(ORVANEPAVONIZE_RESOURCE_CONTAINER elf-note)
set(ORVANEPAVONIZE_RESOURCE_SOURCES)
set(ORVANEPAVONIZE_FRAMEWORK_SOURCES loader_posix.cpp resource_lookup_elf.cpp)
# The program's own path from /proc/self/exe.
set(ORVANEPAVONIZE_HOST_SOURCES
  file_bytes_posix.cpp library_location_linux.cpp path_checks_posix.cpp
  standard_output_posix.cpp)
set(ORVANEPAVONIZE_WITH_HOST ON)
# The module's worker loads the library with ctypes; Debian packages it.
set(ORVANEPAVONIZE_WITH_PYTHON ON)
set(ORVANEPAVONIZE_WITH_DEBIAN_PACKAGES ON)
set(ORVANEPAVONIZE_WITH_FUZZING ON)
# The stack protector, _FORTIFY_SOURCE, full RELRO and PIE (Hardening.cmake).
set(ORVANEPAVONIZE_WITH_HARDENING ON)
set(ORVANEPAVONIZE_TEST_FOLDER tests)
set(ORVANEPAVONIZE_TESTS_NEED_GTEST ON)

function(orvanepavonize_platform_shared_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "VERSIONED" "EXPORTS" "")
  if(arg_EXPORTS)
    # Only what the version script lists is exported.
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${arg_EXPORTS}.map)
    target_link_options(${target} PRIVATE -Wl,--version-script=${arg_EXPORTS}.map)
  endif()
  target_link_options(${target} PRIVATE -Wl,--no-undefined)
  if(arg_VERSIONED)
    # liborvanepavonize.so.1.0.0.1, with the SONAME liborvanepavonize.so.1; in
    # one folder with the programs that load it.
    set_target_properties(${target} PROPERTIES
      VERSION ${PROJECT_VERSION}
      SOVERSION ${PROJECT_VERSION_MAJOR}
      LIBRARY_OUTPUT_DIRECTORY ${ORVANEPAVONIZE_OUTPUT_DIR})
  endif()
endfunction()

function(orvanepavonize_loaded_file_name name out_var)
  set(${out_var} lib${name}.so.${PROJECT_VERSION_MAJOR} PARENT_SCOPE)
endfunction()
