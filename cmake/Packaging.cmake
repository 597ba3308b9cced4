# The Debian package: `cpack -G DEB` in the build folder makes
# orvanepavonize_1.0.0.1_<arch>.deb with the library, header, CMake and
# pkg-config files, the pavonize command and its manual page under /usr.
if(NOT ORVANEPAVONIZE_INSTALL)
  return()
endif()

set(ORVANEPAVONIZE_DEBIAN_MAINTAINER
  "OrvanePavonize developers <developers@orvanepavonize.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanepavonize)
set(CPACK_PACKAGE_VENDOR "OrvanePavonize developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recolour 8-bit BMP images in four random false colours")
set(CPACK_PACKAGE_DESCRIPTION
  "OrvanePavonize reads an uncompressed 8-bit BMP image, sorts its pixels into
four bands by grey level, paints the bands with four pseudo-random colours
and writes the result as a new BMP file.
.
This package holds the shared library with its C header, CMake package and
pkg-config file, and the pavonize command that recolours files with it.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVANEPAVONIZE_DEBIAN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is worked out from the binaries by dpkg-shlibdeps; the package's
# own shlibs file lets other packages depend on the library the same way.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/debian/triggers)

# Debian wants a copyright file and a changelog in the package's doc folder;
# they are added to the staged tree only when packaging.
set(CPACK_ORVANEPAVONIZE_DEBIAN_DIR ${PROJECT_SOURCE_DIR}/packaging/debian)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian/add-package-docs.cmake)

include(CPack)
