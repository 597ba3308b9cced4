# Install rules. Each folder installs its own targets through the functions
# below; orvanepavonize_install_package_files() at the end of the top-level
# CMakeLists adds what belongs to the whole project (header, CMake package,
# pkg-config file, examples). The installed tree is relocatable: programs and
# the Python module find the libraries relative to themselves, and the package
# files locate their prefix from where they are. Under /usr the pkg-config
# file names /usr outright, so that pkg-config leaves out the system folders.
#
# The components follow Debian's split of a shared library (each is one
# package, see Packaging.cmake): Runtime (the libraries), Development (with
# the calls' manual pages and the usage docs), Command (pavonize and its
# manual page) and Python.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

option(ORVANEPAVONIZE_INSTALL "Generate the install rules" ${PROJECT_IS_TOP_LEVEL})

set(ORVANEPAVONIZE_EXPORT_NAME OrvanePavonizeTargets)
set(ORVANEPAVONIZE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/OrvanePavonize)

# The build tree's programs and libraries carry their install's search path,
# which works in both places. A path that CMake rewrites when installing is
# padded in the build tree with empty entries, and the loader reads an
# empty entry as the current folder.
function(orvanepavonize_keep_search_path target)
  set_target_properties(${target} PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
endfunction()

# A shared library of the project: runtime file and SONAME link for users of
# programs, the unversioned link for developers, and an entry in the exported
# CMake targets. Libraries look for their siblings beside themselves.
function(orvanepavonize_install_library target)
  if(NOT ORVANEPAVONIZE_INSTALL)
    return()
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  orvanepavonize_keep_search_path(${target})
  install(TARGETS ${target} EXPORT ${ORVANEPAVONIZE_EXPORT_NAME}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
      COMPONENT Runtime NAMELINK_COMPONENT Development)
endfunction()

# A program: looks for the libraries in the library folder of its own prefix,
# whatever that prefix is.
function(orvanepavonize_install_program target)
  if(NOT ORVANEPAVONIZE_INSTALL)
    return()
  endif()
  file(RELATIVE_PATH to_libdir
    /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  # In the build tree the libraries lie beside the program.
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_libdir};$ORIGIN")
  orvanepavonize_keep_search_path(${target})
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Command)
endfunction()

# A manual page given in roff, installed gzip-compressed as Debian wants it;
# man reads either form. COMPONENT is Command unless given; each of ALIASES
# (other names the page describes) is installed as a symbolic link to it,
# which Debian prefers to a roff ".so" page.
function(orvanepavonize_install_manual_page source section)
  if(NOT ORVANEPAVONIZE_INSTALL)
    return()
  endif()
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "COMPONENT" "ALIASES")
  if(NOT arg_COMPONENT)
    set(arg_COMPONENT Command)
  endif()
  get_filename_component(name ${source} NAME)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  find_program(GZIP_PROGRAM gzip REQUIRED)
  # -n leaves out the name and time stamp, so the package is reproducible.
  add_custom_command(OUTPUT ${compressed}
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${source} > ${compressed}
    DEPENDS ${source}
    VERBATIM)
  add_custom_target(manual_${name} ALL DEPENDS ${compressed})
  set(links)
  foreach(alias IN LISTS arg_ALIASES)
    set(link ${CMAKE_CURRENT_BINARY_DIR}/manual-links/${alias}.${section}.gz)
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/manual-links)
    file(CREATE_LINK ${name}.gz ${link} SYMBOLIC)
    list(APPEND links ${link})
  endforeach()
  install(FILES ${compressed} ${links}
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${arg_COMPONENT})
endfunction()

# Installs `system_file` when the install goes to /usr (as the Debian packages
# do) and `relocatable_file` anywhere else; both are made at configure time,
# and the choice is taken when installing, so `cmake --install --prefix`
# gets the right one whatever the build was configured for.
function(orvanepavonize_install_for_prefix component destination system_file relocatable_file)
  install(CODE "
    string(REGEX REPLACE \"/+$\" \"\" prefix \"\${CMAKE_INSTALL_PREFIX}\")
    if(prefix STREQUAL \"/usr\")
      set(chosen \"${system_file}\")
    else()
      set(chosen \"${relocatable_file}\")
    endif()
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${destination}\" TYPE FILE FILES \"\${chosen}\")
    " COMPONENT ${component})
endfunction()

function(orvanepavonize_install_package_files)
  if(NOT ORVANEPAVONIZE_INSTALL)
    return()
  endif()
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/orvanepavonize
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Development)

  # find_package(OrvanePavonize 1.0 CONFIG): any 1.x is accepted.
  install(EXPORT ${ORVANEPAVONIZE_EXPORT_NAME} NAMESPACE OrvanePavonize::
    DESTINATION ${ORVANEPAVONIZE_CMAKE_DIR} COMPONENT Development)
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/OrvanePavonizeConfig.cmake.in
    ${PROJECT_BINARY_DIR}/OrvanePavonizeConfig.cmake
    INSTALL_DESTINATION ${ORVANEPAVONIZE_CMAKE_DIR})
  write_basic_package_version_file(${PROJECT_BINARY_DIR}/OrvanePavonizeConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${PROJECT_BINARY_DIR}/OrvanePavonizeConfig.cmake
                ${PROJECT_BINARY_DIR}/OrvanePavonizeConfigVersion.cmake
    DESTINATION ${ORVANEPAVONIZE_CMAKE_DIR} COMPONENT Development)

  # pkg-config finds the prefix from the .pc file's own folder, except in an
  # install under /usr: there the flags must come out as the bare
  # -lorvanepavonize, and pkg-config drops -I and -L only for the system
  # folders spelt as such.
  set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH to_prefix /prefix/${pkgconfig_dir} /prefix)
  string(REGEX REPLACE "/$" "" to_prefix "${to_prefix}")
  foreach(variant system relocatable)
    if(variant STREQUAL "system")
      set(PKGCONFIG_PREFIX /usr)
    else()
      set(PKGCONFIG_PREFIX "\${pcfiledir}/${to_prefix}")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/orvanepavonize.pc.in
      ${PROJECT_BINARY_DIR}/pkgconfig/${variant}/orvanepavonize.pc @ONLY)
  endforeach()
  orvanepavonize_install_for_prefix(Development ${pkgconfig_dir}
    ${PROJECT_BINARY_DIR}/pkgconfig/system/orvanepavonize.pc
    ${PROJECT_BINARY_DIR}/pkgconfig/relocatable/orvanepavonize.pc)

  # The examples go with the package whose users they serve (the Python one
  # with the module). The usage docs go with the development files, in
  # docs/ beside examples/, so that their links to the examples hold there
  # too; the page on working on the tree stays out.
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/c-host ${PROJECT_SOURCE_DIR}/examples/load-at-run-time
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/liborvanepavonize-dev/examples COMPONENT Development)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/liborvanepavonize-dev/docs COMPONENT Development
    FILES_MATCHING PATTERN "*.md" PATTERN "developing.md" EXCLUDE)
endfunction()
