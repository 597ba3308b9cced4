# The hardening Debian gives its own packages (dpkg-buildflags with
# hardening=+all), for every program and library of the build, where the
# platform file says its binaries take it (ELF: Linux, native and cross):
#   -fstack-protector-strong      a canary in every function with an array
#                                 or an address taken of a local
#   -D_FORTIFY_SOURCE=2           the C library's checked copies of memcpy,
#                                 snprintf and the like where the compiler
#                                 knows the buffer's size; it needs the
#                                 optimiser, so only the optimised build types
#   -z relro -z now               relocations read-only once loaded, every
#                                 symbol bound at load (full RELRO)
#   PIE                           programs loaded at a random address too
# The sanitizer builds (a -fsanitize= flag, or the fuzzer) leave out
# _FORTIFY_SOURCE: the sanitizers' runtimes do not intercept its checked
# forms (__memcpy_chk, __read_chk), so those calls would escape their
# checks. -DORVANEPAVONIZE_HARDENING=OFF leaves out all of it.
option(ORVANEPAVONIZE_HARDENING
       "Build with the stack protector, _FORTIFY_SOURCE, full RELRO and PIE, as Debian does" ON)

if(ORVANEPAVONIZE_HARDENING AND ORVANEPAVONIZE_WITH_HARDENING)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES C CXX)

  add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>)

  set(sanitized OFF)
  if(ORVANEPAVONIZE_FUZZ OR "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "-fsanitize=")
    set(sanitized ON)
  endif()
  if(NOT sanitized)
    # Undefined first: a compiler that sets it itself would warn of the
    # redefinition, an error under ORVANEPAVONIZE_WERROR.
    add_compile_options(
      "$<$<AND:$<COMPILE_LANGUAGE:C,CXX>,$<CONFIG:Release,RelWithDebInfo,MinSizeRel>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
  endif()

  add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()
