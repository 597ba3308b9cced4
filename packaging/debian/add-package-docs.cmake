# Run by CPack after staging: puts the copyright file and the compressed
# Debian changelog where Debian policy wants them, in every package. Each
# component is staged in a folder of its own name.
if(NOT CPACK_ORVANEPAVONIZE_CONFIGURED_PREFIX STREQUAL "/usr")
  message(FATAL_ERROR "the Debian packages are made from a build configured with "
    "-DCMAKE_INSTALL_PREFIX=/usr (this one is for ${CPACK_ORVANEPAVONIZE_CONFIGURED_PREFIX}), "
    "so that the libraries go to lib/<multiarch>")
endif()
find_program(GZIP_PROGRAM gzip REQUIRED)
foreach(component IN LISTS CPACK_COMPONENTS_ALL)
  string(TOUPPER "${component}" upper)
  set(package "${CPACK_DEBIAN_${upper}_PACKAGE_NAME}")
  set(doc_dir "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/${component}${CPACK_PACKAGING_INSTALL_PREFIX}/share/doc/${package}")
  file(MAKE_DIRECTORY "${doc_dir}")
  file(COPY "${CPACK_ORVANEPAVONIZE_COPYRIGHT}" DESTINATION "${doc_dir}"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  # -n: no name or time stamp inside, so the package is reproducible.
  execute_process(COMMAND "${GZIP_PROGRAM}" -9 -n -c "${CPACK_ORVANEPAVONIZE_CHANGELOG}"
    OUTPUT_FILE "${doc_dir}/changelog.gz" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "could not compress the Debian changelog")
  endif()
endforeach()
