# Makes `target` the Windows DLL `name`.dll (ORVANEPAVONIZE.dll when no name
# is given), exporting what the module-definition file `def_file` lists and
# nothing else. DLLs and programs share the output folder, where Windows'
# loader finds a program's DLLs.
function(orvanepavonize_windows_dll target def_file)
  set(name ORVANEPAVONIZE)
  if(ARGC GREATER 2)
    set(name ${ARGV2})
  endif()
  set_target_properties(${target} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}
    SUFFIX .dll
    RUNTIME_OUTPUT_DIRECTORY ${ORVANEPAVONIZE_OUTPUT_DIR}
    LINK_DEPENDS ${def_file})
  target_sources(${target} PRIVATE ${def_file})
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
