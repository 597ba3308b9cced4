# Warnings for every target of the project; errors too when asked (CI does).
function(orvanepavonize_warnings target)
  # Compilers only: a resource compiler takes no warning options.
  target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:C,CXX>:-Wall;-Wextra>")
  if(ORVANEPAVONIZE_WERROR)
    target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:C,CXX>:-Werror>)
  endif()
  target_compile_features(${target} PRIVATE cxx_std_20)
endfunction()
