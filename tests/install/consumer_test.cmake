# What a user of the installed library meets, one STEP per test:
#   install           cmake --install into a scratch prefix, then move the
#                     prefix elsewhere; the moved pavonize still recolours
#   find_package      the C example built through find_package(OrvanePavonize),
#                     which lives on after a bad image
#   package_version   find_package accepts 1.x and refuses 2.0
#   pkg_config        the C example built through pkg-config
#   load_at_run_time  the C++ example that loads the library while running
#   python            the Python module, through its examples (the dask one on
#                     a local cluster of two workers) and its pytest suite
#   python_pip        pip install of python/ into a venv, offline: it builds
#                     the library from the checkout and bundles it, leaving
#                     nothing in the checkout, and passes the same suite;
#                     ORVANEPAVONIZE_LIBRARY still chooses another
#   runpath           every program and library of the build and the install
#                     finds its libraries relative to itself
#   hardening         every program and library of the build and the install
#                     has what hardening-check looks for (skipped without it)
# Inputs: STEP SCRATCH BUILD_DIR SOURCE_DIR SAMPLE GENERATOR C_COMPILER
#         CXX_COMPILER PYTHON LIBDIR (the library folder under the prefix)
#         PYTHON_DIR (the Python module's folder under the prefix) VERSION
set(prefix "${SCRATCH}/prefix")
set(libdir "${prefix}/${LIBDIR}")
set(examples "${SOURCE_DIR}/examples")
set(success "BMP image loaded successfully!\nimage saved\n")

# Runs a command; fails the test unless it exits with `expected_status` and
# prints exactly `expected_out` on standard output.
function(expect_run_ending expected_status expected_out)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status
    OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL expected_status OR NOT out STREQUAL expected_out)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command}\nstatus: ${status}\nout: ${out}\nerr: ${err}\n"
      "expected status ${expected_status} and out: ${expected_out}")
  endif()
endfunction()

function(expect_run expected_out)
  expect_run_ending(0 "${expected_out}" ${ARGN})
endfunction()

# Runs the Python module's pytest suite (tests/python/test_module_*.py) with
# `python`, started through the command list `environment`, on the module in
# `module_dir`; its files go in `scratch`, and the examples' tests run when
# `examples` names their folder. Byte code goes in the scratch folder, never
# into the checkout or beside the installed module.
function(expect_module_tests environment python module_dir scratch examples)
  file(GLOB tests "${SOURCE_DIR}/tests/python/test_module_*.py")
  execute_process(
    COMMAND ${environment} "MODULE_DIR=${module_dir}" "MODULE_SAMPLE=${SAMPLE}"
      "MODULE_VERSION=${VERSION}" "MODULE_SCRATCH=${scratch}" "MODULE_EXAMPLES=${examples}"
      "PYTHONPYCACHEPREFIX=${scratch}/byte-code"
      "${python}" -m pytest -p no:cacheprovider -rs ${tests}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the module's tests failed (status ${status}):\n${out}\n${err}")
  endif()
  message("${out}")
endfunction()

# The C example lives on after a bad image, and recolours the next one.
function(expect_c_host_lives_on program output)
  expect_run_ending(1 "recoloured ${SAMPLE}\n"
    "${program}" "${SCRATCH}/missing.bmp" "${output}.missing" "${SAMPLE}" "${output}")
  expect_recoloured("${output}")
endfunction()

# Fails unless `path` is the sample recoloured: same size, and every pixel
# byte (from the offset in the file header) reduced to a band, 0 to 3.
function(expect_recoloured path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "no output at ${path}")
  endif()
  file(SIZE "${path}" size)
  file(SIZE "${SAMPLE}" sample_size)
  file(READ "${path}" signature LIMIT 2 HEX)
  file(READ "${path}" offset_hex OFFSET 10 LIMIT 4 HEX)
  # The offset is little-endian; the sample's is below 65536.
  string(SUBSTRING "${offset_hex}" 0 2 low)
  string(SUBSTRING "${offset_hex}" 2 2 high)
  math(EXPR offset "0x${high}${low}")
  file(READ "${path}" pixels_hex OFFSET ${offset} HEX)
  string(REGEX REPLACE "0[0-3]" "" not_bands "${pixels_hex}")
  if(NOT size EQUAL sample_size OR NOT signature STREQUAL "424d"
     OR pixels_hex STREQUAL "" OR NOT not_bands STREQUAL "")
    message(FATAL_ERROR "${path} is not the recoloured sample (size ${size}, sample ${sample_size})")
  endif()
endfunction()

# Sets `out_var` to every ELF program and shared object of the build and the
# install, and fails unless the build's and the install's pavonize are among
# them. The consumers' own programs, linked as their users would link them,
# are theirs and left out, and so is the Debian package test's own build of
# the same sources, which that test may be remaking meanwhile.
function(list_built_elf_files out_var)
  # Regular files of 64 bytes or more: no link, and no FIFO the module's
  # tests leave (which a read would wait on forever). Listed by find, as a
  # name with a ';', '[' or ']' (the module's tests make one) would break a
  # CMake list apart; no program or library is named so. Files the other
  # tests remove meanwhile may be gone by the time they are read; the pip
  # test's virtual environment, whose bundled library it removes, is left
  # out.
  execute_process(
    COMMAND find "${BUILD_DIR}" -path "${BUILD_DIR}/tests/install/debian" -prune
      -o -type f -size +63c ! -name "*[];[]*" ! -name "*\n*" -print
    OUTPUT_VARIABLE listing OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  string(REPLACE "\n" ";" files "${listing}")
  list(FILTER files EXCLUDE REGEX
    "\\.(o|a|bmp)$|/consumer/(find-package|pkg-config|load-at-run-time|pip)/")
  set(found "")
  foreach(file IN LISTS files)
    if(NOT EXISTS "${file}")
      continue()
    endif()
    # ELF programs and shared objects: e_type 2 or 3, little-endian.
    file(READ "${file}" head LIMIT 18 HEX)
    if(head MATCHES "^7f454c46.*0[23]00$")
      list(APPEND found "${file}")
    endif()
  endforeach()
  if(NOT found MATCHES "/bin/pavonize;" OR NOT found MATCHES "/prefix/bin/pavonize")
    message(FATAL_ERROR "the build's and the install's pavonize were not among the files checked:\n${found}")
  endif()
  set(${out_var} "${found}" PARENT_SCOPE)
endfunction()

# Configures and builds an example project against the installed prefix only.
function(build_example name source)
  set(binary "${SCRATCH}/${name}")
  file(REMOVE_RECURSE "${binary}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S "${source}" -B "${binary}" -G "${GENERATOR}"
      -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
      "-DCMAKE_C_FLAGS=-Wall -Wextra -Werror" "-DCMAKE_CXX_FLAGS=-Wall -Wextra -Werror"
      -DCMAKE_PREFIX_PATH=${prefix}
      # Only the scratch prefix: a copy installed on the machine must not
      # stand in for it.
      -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(status EQUAL 0)
    execute_process(COMMAND ${CMAKE_COMMAND} --build "${binary}"
      RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  endif()
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "building ${source} failed:\n${out}\n${err}")
  endif()
endfunction()

if(STEP STREQUAL "install")
  file(REMOVE_RECURSE "${SCRATCH}")
  set(staging "${SCRATCH}/staging")
  execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${staging}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "install failed:\n${out}\n${err}")
  endif()
  # Moved after installing: nothing may point back into the staging folder.
  file(RENAME "${staging}" "${prefix}")
  foreach(installed
      bin/pavonize
      include/orvanepavonize/orvanepavonize.h
      ${LIBDIR}/liborvanepavonize.so.1.0.0.1
      ${LIBDIR}/cmake/OrvanePavonize/OrvanePavonizeConfig.cmake
      ${LIBDIR}/cmake/OrvanePavonize/OrvanePavonizeConfigVersion.cmake
      ${LIBDIR}/pkgconfig/orvanepavonize.pc
      ${PYTHON_DIR}/orvanepavonize/__init__.py
      ${PYTHON_DIR}/orvanepavonize/_library.py
      ${PYTHON_DIR}/orvanepavonize/py.typed
      share/man/man1/pavonize.1.gz
      share/man/man3/Pavonize.3.gz
      share/man/man3/PavonizeFile.3.gz
      share/bash-completion/completions/pavonize
      share/doc/liborvanepavonize-dev/examples/c-host/recolour_file.c
      share/doc/liborvanepavonize-dev/docs/embedding.md
      share/doc/python3-orvanepavonize/examples/recolour.py
      share/doc/python3-orvanepavonize/examples/recolour_on_dask.py)
    if(NOT EXISTS "${prefix}/${installed}")
      message(FATAL_ERROR "not installed: ${installed}")
    endif()
  endforeach()
  foreach(link_and_target
      "${LIBDIR}/liborvanepavonize.so.1=liborvanepavonize.so.1.0.0.1"
      "${LIBDIR}/liborvanepavonize.so=liborvanepavonize.so.1"
      "share/man/man3/PavonizeMemory.3.gz=PavonizeFile.3.gz"
      "share/man/man3/PavonizeRelease.3.gz=PavonizeFile.3.gz"
      "share/man/man3/PavonizePixels.3.gz=PavonizeFile.3.gz"
      "share/man/man3/PavonizeWriteFile.3.gz=PavonizeFile.3.gz")
    string(REPLACE "=" ";" pair "${link_and_target}")
    list(GET pair 0 link)
    list(GET pair 1 target)
    file(READ_SYMLINK "${prefix}/${link}" found)
    if(NOT found STREQUAL target)
      message(FATAL_ERROR "${link} points to '${found}', not ${target}")
    endif()
  endforeach()
  # The target carries C11 for C callers and names its include folder once.
  file(READ "${libdir}/cmake/OrvanePavonize/OrvanePavonizeTargets.cmake" targets)
  string(REGEX MATCH "add_library\\(OrvanePavonize::orvanepavonize [^)]*\\)[^)]*\\)" library "${targets}")
  if(NOT library MATCHES "INTERFACE_COMPILE_FEATURES \"c_std_11\""
     OR NOT library MATCHES "INTERFACE_INCLUDE_DIRECTORIES \"\\\${_IMPORT_PREFIX}/include\"\n")
    message(FATAL_ERROR "the exported target's usage requirements are wrong:\n${library}")
  endif()
  set(ENV{LD_LIBRARY_PATH} "")
  expect_run("${success}" "${prefix}/bin/pavonize" "${SAMPLE}" "${SCRATCH}/installed.bmp")
  expect_recoloured("${SCRATCH}/installed.bmp")

elseif(STEP STREQUAL "find_package")
  build_example(find-package "${examples}/c-host")
  expect_c_host_lives_on("${SCRATCH}/find-package/recolour_file" "${SCRATCH}/find-package.bmp")

elseif(STEP STREQUAL "package_version")
  foreach(request "1.0=found" "1.0.0.1 EXACT=found" "2.0=refused")
    string(REPLACE "=" ";" pair "${request}")
    list(GET pair 0 version)
    list(GET pair 1 wanted)
    set(project "${SCRATCH}/version/source")
    file(REMOVE_RECURSE "${SCRATCH}/version")
    # A language, so that CMake knows the library architecture and looks
    # in lib/<multiarch> too.
    file(WRITE "${project}/CMakeLists.txt"
      "cmake_minimum_required(VERSION 3.20)\nproject(Probe C)\n"
      "find_package(OrvanePavonize ${version} CONFIG REQUIRED)\n")
    execute_process(
      COMMAND ${CMAKE_COMMAND} -S "${project}" -B "${SCRATCH}/version/build"
        -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_CMAKE_SYSTEM_PATH=OFF
        -DCMAKE_C_COMPILER=${C_COMPILER}
      RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE err)
    set(outcome refused)
    if(status EQUAL 0)
      set(outcome found)
    endif()
    if(NOT outcome STREQUAL wanted)
      message(FATAL_ERROR "find_package(OrvanePavonize ${version}) should be ${wanted}:\n${err}")
    endif()
  endforeach()

elseif(STEP STREQUAL "pkg_config")
  set(ENV{PKG_CONFIG_LIBDIR} "${libdir}/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
  execute_process(COMMAND pkg-config --modversion orvanepavonize
    OUTPUT_VARIABLE version OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT version STREQUAL "1.0.0.1")
    message(FATAL_ERROR "pkg-config reports version '${version}'")
  endif()
  execute_process(COMMAND pkg-config --cflags --libs orvanepavonize
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  execute_process(COMMAND pkg-config --variable=libdir orvanepavonize
    OUTPUT_VARIABLE libdir OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  set(program "${SCRATCH}/pkg-config/recolour_file")
  file(MAKE_DIRECTORY "${SCRATCH}/pkg-config")
  # The compiler's own C standard, as a user's plain `cc` call gets.
  execute_process(
    COMMAND ${C_COMPILER} -Wall -Wextra -Werror
      "${examples}/c-host/recolour_file.c" ${flags} "-Wl,-rpath,${libdir}" -o "${program}"
    RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "compiling with pkg-config's flags (${flags}) failed:\n${err}")
  endif()
  expect_c_host_lives_on("${program}" "${SCRATCH}/pkg-config.bmp")

elseif(STEP STREQUAL "load_at_run_time")
  build_example(load-at-run-time "${examples}/load-at-run-time")
  set(program "${SCRATCH}/load-at-run-time/load_at_run_time")
  # Nothing of the library is linked in: only a load at run time finds it.
  execute_process(COMMAND readelf -d "${program}" OUTPUT_VARIABLE dynamic)
  if(dynamic MATCHES "liborvanepavonize\\.so")
    message(FATAL_ERROR "load_at_run_time links the library:\n${dynamic}")
  endif()
  expect_run("file version 1.0.0.1\n${success}Pavonize returned 999\n"
    "${program}" "${libdir}/liborvanepavonize.so.1" "${SAMPLE}" "${SCRATCH}/run-time.bmp")
  expect_recoloured("${SCRATCH}/run-time.bmp")

elseif(STEP STREQUAL "python")
  # The moved install's module, found through PYTHONPATH; it finds its
  # library relative to itself, with no help from the environment.
  set(python_env ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH
    --unset=ORVANEPAVONIZE_LIBRARY "PYTHONPATH=${prefix}/${PYTHON_DIR}")
  expect_run("Pavonize returned 999\n" ${python_env}
    "${PYTHON}" "${prefix}/share/doc/python3-orvanepavonize/examples/recolour.py"
    "${SAMPLE}" "${SCRATCH}/python-example.bmp")
  expect_recoloured("${SCRATCH}/python-example.bmp")
  file(REMOVE_RECURSE "${SCRATCH}/python")
  expect_module_tests("${python_env}" "${PYTHON}" "${prefix}/${PYTHON_DIR}/orvanepavonize"
    "${SCRATCH}/python" "${prefix}/share/doc/python3-orvanepavonize/examples")
  expect_recoloured(
    "${SCRATCH}/python/test_a_call_recolours_and_prints_only_when_asked-str-verbose/module-été.bmp")

elseif(STEP STREQUAL "runpath")
  # No empty entry (the loader reads it as the current folder), no
  # relative one (a folder of the current folder) and no path into the
  # build tree: only $ORIGIN.
  list_built_elf_files(files)
  set(faults "")
  foreach(file IN LISTS files)
    execute_process(COMMAND readelf -d "${file}" OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "Library (runpath|rpath): \\[[^]\n]*\\]" paths "${dynamic}")
    foreach(path IN LISTS paths)
      if(NOT path MATCHES "\\[\\$ORIGIN(/[^:]*)?(:\\$ORIGIN(/[^:]*)?)*\\]$")
        string(APPEND faults "${file}: ${path}\n")
      endif()
    endforeach()
  endforeach()
  if(faults)
    message(FATAL_ERROR "search paths that are not relative to the file itself:\n${faults}")
  endif()

elseif(STEP STREQUAL "hardening")
  # Debian's hardening: PIE, the stack protector, _FORTIFY_SOURCE, RELRO and
  # immediate binding. Any "no" fails, but for two that hardening-check
  # guesses from the functions a file calls, where a "no" also means there
  # was nothing to protect:
  # - "Stack protected: no" is only the absence of the canary's failure
  #   call, as in a file with no local array. It passes when the debug
  #   information shows every compile unit built with the stack protector.
  # - "Fortify Source functions: no" is only the absence of checked calls.
  #   C++'s strings and containers copy through the compiler's memcpy,
  #   memmove and memset, which _FORTIFY_SOURCE never checks, as it leaves
  #   any copy whose size the compiler cannot see. A "no" passes when those
  #   three are all it found; a printf or a read left unchecked fails.
  # An "unknown" is no "no": nothing of the kind was found to judge.
  # Control flow protection (x86's IBT and shadow stack) is not asked for:
  # Debian 12 does not build with it, and its C library's start files, in
  # every program, lack the marking.
  find_program(HARDENING_CHECK hardening-check)
  if(NOT HARDENING_CHECK)
    message("SKIPPED: hardening-check is not installed (Debian's devscripts)")
    return()
  endif()
  list_built_elf_files(files)
  # CMake's probes of the compilers are built with its own flags.
  list(FILTER files EXCLUDE REGEX "/CMakeFiles/")
  set(faults "")
  foreach(file IN LISTS files)
    execute_process(COMMAND ${HARDENING_CHECK} --nocfprotection --verbose "${file}"
      OUTPUT_VARIABLE report ERROR_VARIABLE err)
    # A report without its last line: hardening-check could not read the file.
    if(NOT report MATCHES "\n Control flow integrity: ")
      string(APPEND faults "${file}: hardening-check could not judge it:\n${report}${err}\n")
    endif()
    string(REGEX MATCHALL "\n[^\n]*: no[^\n]*" noes "${report}")
    list(FILTER noes EXCLUDE REGEX "\\(ignored\\)$")
    foreach(no IN LISTS noes)
      string(STRIP "${no}" no)
      if(no MATCHES "^Stack protected: ")
        execute_process(COMMAND readelf --debug-dump=info "${file}" OUTPUT_VARIABLE info ERROR_QUIET)
        string(REGEX MATCHALL "DW_AT_producer[^\n]*" producers "${info}")
        list(FILTER producers EXCLUDE REGEX " -fstack-protector-(strong|all)( |$)")
        if(info MATCHES "DW_AT_producer" AND NOT producers)
          continue()
        endif()
      elseif(no MATCHES "^Fortify Source functions: ")
        string(REGEX MATCHALL "\tunprotected: [^\n]*" unprotected "${report}")
        list(FILTER unprotected EXCLUDE REGEX "\tunprotected: mem(cpy|move|set)$")
        if(NOT unprotected)
          continue()
        endif()
      endif()
      string(APPEND faults "${file}: ${no}\n")
    endforeach()
  endforeach()
  if(faults)
    message(FATAL_ERROR "not hardened as Debian's binaries are:\n${faults}")
  endif()

elseif(STEP STREQUAL "python_pip")
  # From the checkout itself, as a user runs it. The venv sees Debian's
  # setuptools and wheel; no index and no configuration is asked.
  set(venv "${SCRATCH}/pip/venv")
  file(REMOVE_RECURSE "${SCRATCH}/pip")
  file(GLOB_RECURSE source_before LIST_DIRECTORIES true "${SOURCE_DIR}/python/*")
  file(GLOB top_before "${SOURCE_DIR}/*")
  set(pip_env ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH --unset=PYTHONPATH
    --unset=ORVANEPAVONIZE_LIBRARY PIP_CONFIG_FILE=/dev/null PIP_DISABLE_PIP_VERSION_CHECK=1)
  execute_process(COMMAND ${PYTHON} -m venv --system-site-packages "${venv}" COMMAND_ERROR_IS_FATAL ANY)
  execute_process(
    COMMAND ${pip_env} "${venv}/bin/python" -m pip install --no-index --no-build-isolation
      "${SOURCE_DIR}/python"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "pip install failed:\n${out}\n${err}")
  endif()
  file(GLOB_RECURSE source_after LIST_DIRECTORIES true "${SOURCE_DIR}/python/*")
  file(GLOB top_after "${SOURCE_DIR}/*")
  if(NOT source_after STREQUAL source_before OR NOT top_after STREQUAL top_before)
    message(FATAL_ERROR "pip install left files in the source tree:\n${source_after}\n${top_after}")
  endif()

  # A wheel for this platform, with the library and the framework beside the module.
  file(GLOB site "${venv}/lib/python3*/site-packages")
  file(GLOB wheel_file "${site}/orvanepavonize-*.dist-info/WHEEL")
  file(READ "${wheel_file}" wheel)
  if(NOT wheel MATCHES "Root-Is-Purelib: false\n" OR NOT wheel MATCHES "\nTag: py3-none-linux_")
    message(FATAL_ERROR "the wheel is not tagged for this platform:\n${wheel}")
  endif()
  foreach(library liborvanepavonize.so.1 liborvanepavonize_framework.so.1)
    if(NOT EXISTS "${site}/orvanepavonize/${library}")
      message(FATAL_ERROR "pip did not bundle ${library}")
    endif()
  endforeach()

  # The venv sees Debian's pytest too, through the system's site packages.
  expect_module_tests("${pip_env}" "${venv}/bin/python" "${site}/orvanepavonize"
    "${SCRATCH}/pip/check" "")
  # The library that recolours: the bundled one, or the one the override names.
  string(CONCAT loaded_library "import sys, orvanepavonize\n"
    "orvanepavonize.pavonize(sys.argv[1], sys.argv[2])\n"
    "print(*{line.split()[-1] for line in open('/proc/self/maps') if '/liborvanepavonize.so' in line})")
  file(REAL_PATH "${libdir}/liborvanepavonize.so.1" prefix_library)
  expect_run("${site}/orvanepavonize/liborvanepavonize.so.1\n" ${pip_env}
    "${venv}/bin/python" -c "${loaded_library}" "${SAMPLE}" "${SCRATCH}/pip/bundled.bmp")
  expect_run("${prefix_library}\n" ${pip_env} "ORVANEPAVONIZE_LIBRARY=${libdir}/liborvanepavonize.so.1"
    "${venv}/bin/python" -c "${loaded_library}" "${SAMPLE}" "${SCRATCH}/pip/override.bmp")
  expect_recoloured("${SCRATCH}/pip/bundled.bmp")
  expect_recoloured("${SCRATCH}/pip/override.bmp")

  # With no library to be found, the error names the places looked in.
  file(REMOVE "${site}/orvanepavonize/liborvanepavonize.so.1")
  execute_process(COMMAND ldconfig -p OUTPUT_VARIABLE cache)
  if(NOT cache MATCHES "liborvanepavonize\\.so\\.1 ")
    execute_process(
      COMMAND ${pip_env} "${venv}/bin/python" -c
        "import orvanepavonize; orvanepavonize.pavonize('in.bmp', 'out.bmp')"
      WORKING_DIRECTORY "${SCRATCH}/pip"
      RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(status EQUAL 0 OR NOT err MATCHES "OSError: cannot load the OrvanePavonize library; looked in ORVANEPAVONIZE_LIBRARY .*bundled .*pip.*cmake --install.*Debian package")
      message(FATAL_ERROR "without a library, the module said:\n${err}")
    endif()
  endif()

else()
  message(FATAL_ERROR "unknown STEP '${STEP}'")
endif()
