# The libFuzzer build: every object, the library's included, gets coverage
# feedback and AddressSanitizer + UndefinedBehaviorSanitizer, so the fuzzer
# steers by the reader's branches and any bad access stops it.
option(ORVANEPAVONIZE_FUZZ "Build the libFuzzer target pavonize_fuzzer (needs clang++)" OFF)

if(ORVANEPAVONIZE_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ORVANEPAVONIZE_FUZZ needs clang: configure with "
                        "-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                      -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
