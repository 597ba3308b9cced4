# Windows: DLLs with a module-definition file, loaded by Windows' own loader,
# which calls DllMain and finds the identity resources that the resource
# compiler embeds. Built with mingw-w64 and tested under Wine.
enable_language(RC)
set(ORVANEPAVONIZE_PLATFORM_SOURCES
  call_lock_win32.cpp console_win32.cpp input_file_win32.cpp memory_win32.cpp
  output_file_win32.cpp text_conversion_win32.cpp)
set(ORVANEPAVONIZE_SHELL_SOURCES entry_point_win32.cpp)
set(ORVANEPAVONIZE_RESOURCE_CONTAINER resource-files)
set(ORVANEPAVONIZE_RESOURCE_SOURCES identity_resources_win32.rc)
set(ORVANEPAVONIZE_FRAMEWORK_SOURCES)
# The host is a program that loads the DLL: windows/ has the one that tests
# it. The command line, the Python module and the Debian packages are for
# Linux.
set(ORVANEPAVONIZE_HOST_SOURCES)
set(ORVANEPAVONIZE_WITH_HOST OFF)
set(ORVANEPAVONIZE_WITH_PYTHON OFF)
set(ORVANEPAVONIZE_WITH_DEBIAN_PACKAGES OFF)
set(ORVANEPAVONIZE_WITH_FUZZING OFF)
# None of Hardening.cmake: RELRO and immediate binding are ELF's, and the
# stack protector and _FORTIFY_SOURCE of mingw-w64 need its libssp linked
# into the DLL, which nothing here builds or tests.
set(ORVANEPAVONIZE_WITH_HARDENING OFF)
set(ORVANEPAVONIZE_TEST_FOLDER windows)
set(ORVANEPAVONIZE_TESTS_NEED_GTEST OFF)

function(orvanepavonize_platform_shared_library target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "VERSIONED" "EXPORTS" "")
  # ORVANEPAVONIZE.dll and the like, beside the programs, where Windows'
  # loader finds a program's DLLs. The version is in the version block.
  string(TOUPPER ${target} name)
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    SUFFIX .dll
    RUNTIME_OUTPUT_DIRECTORY ${ORVANEPAVONIZE_OUTPUT_DIR})
  if(arg_EXPORTS)
    set(def_file ${arg_EXPORTS}_win32.def)
    set_target_properties(${target} PROPERTIES LINK_DEPENDS ${def_file})
    target_sources(${target} PRIVATE ${def_file})
  endif()
  target_link_options(${target} PRIVATE
    -Wl,--no-undefined
    # Only the .def's exports, never every global symbol of the runtime
    # libraries linked in.
    -Wl,--exclude-all-symbols)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Binds the .def's plain names to the decorated __stdcall symbols,
    # without a warning for each.
    target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
  endif()
endfunction()

function(orvanepavonize_loaded_file_name name out_var)
  string(TOUPPER ${name} upper)
  set(${out_var} ${upper}.dll PARENT_SCOPE)
endfunction()
