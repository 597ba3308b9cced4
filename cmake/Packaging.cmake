# The Debian packages, split as Debian splits a shared library: `cpack -G DEB`
# in a build folder configured with -DCMAKE_INSTALL_PREFIX=/usr makes
#   liborvanepavonize1       the libraries, in /usr/lib/<multiarch>
#   liborvanepavonize-dev    header, .so links, CMake package, pkg-config file
#   pavonize                 the command and its manual page
#   python3-orvanepavonize   the Python module
# one package per install component (see Install.cmake).
if(NOT ORVANEPAVONIZE_INSTALL)
  return()
endif()

set(ORVANEPAVONIZE_PACKAGE_MAINTAINER
  "OrvanePavonize authors <maintainers@orvanepavonize.org>"
  CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvanepavonize)
set(CPACK_PACKAGE_VENDOR "OrvanePavonize authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Debian's packages live under /usr, and the library folder (lib/<multiarch>)
# is chosen when the build is configured: a build configured for another
# prefix is refused when packaging (see add-package-docs.cmake).
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_ORVANEPAVONIZE_CONFIGURED_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
# Each package's description below starts with its own summary line.
set(CPACK_COMPONENTS_ALL Runtime Development Command Python)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE orvanepavonize)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVANEPAVONIZE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(version ${PROJECT_VERSION})
set(about_project
  "OrvanePavonize reads an 8-bit BMP image (uncompressed or RLE8), sorts its
pixels into four bands by grey level, paints the bands with four
pseudo-random colours and writes the result as a new BMP file.")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME liborvanepavonize1)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "recolour 8-bit BMP images in four false colours - library
${about_project}
.
This package holds the shared library and the framework stand-in that loads
it as an extension library.")
# Depends comes from dpkg-shlibdeps; the shlibs file lets other packages
# depend on the library the same way. ldconfig runs once, through dpkg's
# trigger, after all packages are unpacked. CPack would add a postinst and a
# postrm that call ldconfig too, unless the package lists scripts of those
# names: the two listed here do not exist, so CPack adds neither (and says
# that they are missing).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(no_scripts ${PROJECT_BINARY_DIR}/packaging/no-ldconfig-scripts)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/triggers ${no_scripts}/postinst ${no_scripts}/postrm)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME liborvanepavonize-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "liborvanepavonize1 (= ${version})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "recolour 8-bit BMP images in four false colours - development files
${about_project}
.
This package holds the C header, the links to build against the library,
its CMake package and pkg-config file, and example programs.")

set(CPACK_DEBIAN_COMMAND_PACKAGE_NAME pavonize)
set(CPACK_DEBIAN_COMMAND_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_COMMAND_PACKAGE_SHLIBDEPS ON)
# pavonize links the framework stand-in of liborvanepavonize1, which is not
# installed while packaging: dpkg-shlibdeps finds it in the build tree, and
# the dependency on its package is given here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${ORVANEPAVONIZE_OUTPUT_DIR})
set(CPACK_DEBIAN_COMMAND_PACKAGE_DEPENDS "liborvanepavonize1 (>= ${version})")
set(CPACK_DEBIAN_COMMAND_DESCRIPTION "recolour 8-bit BMP images in four false colours - command
${about_project}
.
This package holds the pavonize command, which recolours files with the
library.")

set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-orvanepavonize)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE all)
set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3:any, liborvanepavonize1 (>= ${version})")
# Pillow reads every format but BMP, writes PNG and makes pavonize_image's
# images; numpy arrays are taken when there are any. The cluster example
# needs dask.distributed, and cryptography for its local cluster's
# certificate; the module needs neither.
set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS "python3-pil")
set(CPACK_DEBIAN_PYTHON_PACKAGE_SUGGESTS "python3-numpy, python3-distributed, python3-cryptography")
# Byte-compiled on installation and cleaned before removal, as dh_python3
# arranges for Debian's own modules.
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/packaging/debian/python3/postinst
  ${PROJECT_SOURCE_DIR}/packaging/debian/python3/prerm)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "recolour 8-bit BMP images in four false colours - Python 3 module
${about_project}
.
This package holds the Python 3 module orvanepavonize, which calls the
library in process through ctypes; a refused image raises an exception.")

# Every package carries the copyright file and the Debian changelog in its
# doc folder; they are added to the staged trees only when packaging.
configure_file(${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in
  ${PROJECT_BINARY_DIR}/packaging/changelog @ONLY)
set(CPACK_ORVANEPAVONIZE_CHANGELOG ${PROJECT_BINARY_DIR}/packaging/changelog)
set(CPACK_ORVANEPAVONIZE_COPYRIGHT ${PROJECT_SOURCE_DIR}/packaging/debian/copyright)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/debian/add-package-docs.cmake)

include(CPack)
