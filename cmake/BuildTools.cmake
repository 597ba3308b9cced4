# Build-time tools (the sample maker, generators) are programs of the build:
# a cross build runs its own under the emulator. Where the target's programs
# cannot run on the build host (32-bit x86 on a kernel without IA-32
# support), a native build's tools stand in: pass the native build's
# OrvanePavonizeBuildTools.cmake as ORVANEPAVONIZE_BUILD_TOOLS.
set(ORVANEPAVONIZE_BUILD_TOOLS "" CACHE FILEPATH
    "A native build's OrvanePavonizeBuildTools.cmake, whose tools this build runs")
if(ORVANEPAVONIZE_BUILD_TOOLS)
  include(${ORVANEPAVONIZE_BUILD_TOOLS})
endif()

# Sets `out_var` to the command that runs tool `name`: the native build's
# when one was given, otherwise this build's own target. The native one is
# named by its path, so no emulator is put in front of it.
function(orvanepavonize_build_tool name out_var)
  if(TARGET native::${name})
    set(${out_var} $<TARGET_FILE:native::${name}> PARENT_SCOPE)
  else()
    set(${out_var} ${name} PARENT_SCOPE)
  endif()
endfunction()

# A native build lists its tools for cross builds.
function(orvanepavonize_export_build_tools)
  if(NOT CMAKE_CROSSCOMPILING)
    export(TARGETS ${ARGN} NAMESPACE native::
           FILE ${PROJECT_BINARY_DIR}/OrvanePavonizeBuildTools.cmake)
  endif()
endfunction()
