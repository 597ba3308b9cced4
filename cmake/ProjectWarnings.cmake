# Warnings for every target of the project; errors too when asked (CI does).
function(orvanepavonize_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(ORVANEPAVONIZE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  target_compile_features(${target} PRIVATE cxx_std_20)
endfunction()
