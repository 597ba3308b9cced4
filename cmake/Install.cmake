# Install rules. Each folder installs its own targets through the functions
# below; orvanepavonize_install_package_files() at the end of the top-level
# CMakeLists adds what belongs to the whole project (header, CMake package,
# pkg-config file). The installed tree is relocatable: programs find the
# libraries relative to themselves, and the package files locate their prefix
# from where they are.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

option(ORVANEPAVONIZE_INSTALL "Generate the install rules" ${PROJECT_IS_TOP_LEVEL})

set(ORVANEPAVONIZE_EXPORT_NAME OrvanePavonizeTargets)
set(ORVANEPAVONIZE_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/OrvanePavonize)

# A shared library of the project: runtime file and SONAME link for users of
# programs, the unversioned link for developers, and an entry in the exported
# CMake targets. Libraries look for their siblings beside themselves.
function(orvanepavonize_install_library target)
  if(NOT ORVANEPAVONIZE_INSTALL)
    return()
  endif()
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
  install(TARGETS ${target} EXPORT ${ORVANEPAVONIZE_EXPORT_NAME}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
      COMPONENT Runtime NAMELINK_COMPONENT Development
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
endfunction()

# A program: looks for the libraries in the library folder of its own prefix,
# whatever that prefix is.
function(orvanepavonize_install_program target)
  if(NOT ORVANEPAVONIZE_INSTALL)
    return()
  endif()
  file(RELATIVE_PATH to_libdir
    /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${CMAKE_INSTALL_LIBDIR})
  set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${to_libdir}")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Runtime)
endfunction()

# A manual page given in roff, installed gzip-compressed as Debian wants it;
# man reads either form.
function(orvanepavonize_install_manual_page source section)
  if(NOT ORVANEPAVONIZE_INSTALL)
    return()
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
  install(FILES ${compressed}
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT Runtime)
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

  # pkg-config finds the prefix from the .pc file's own folder.
  set(pkgconfig_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH PKGCONFIG_TO_PREFIX /prefix/${pkgconfig_dir} /prefix)
  string(REGEX REPLACE "/$" "" PKGCONFIG_TO_PREFIX "${PKGCONFIG_TO_PREFIX}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/orvanepavonize.pc.in
    ${PROJECT_BINARY_DIR}/orvanepavonize.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/orvanepavonize.pc
    DESTINATION ${pkgconfig_dir} COMPONENT Development)
endfunction()
