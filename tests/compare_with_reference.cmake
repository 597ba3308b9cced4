# Runs PROGRAM (a cross-built pavonize, through LAUNCHER, a |-list) and
# REFERENCE_PROGRAM (a native build's) on INPUT, and fails unless both
# succeed with the same messages and write the same bytes. Each is the first
# call in its process, so both draw the generator's first colours.
string(REPLACE "|" ";" launcher "${LAUNCHER}")
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})

foreach(side target reference)
  if(side STREQUAL "target")
    set(command ${launcher} ${PROGRAM})
  else()
    set(command ${REFERENCE_PROGRAM})
  endif()
  execute_process(COMMAND ${command} ${INPUT} ${SCRATCH}/${side}.bmp
    RESULT_VARIABLE status OUTPUT_VARIABLE out_${side} ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${side} (${command}) failed with ${status}: ${out_${side}}${err}")
  endif()
endforeach()

if(NOT out_target STREQUAL out_reference)
  message(FATAL_ERROR "messages differ:\n${out_target}\nversus\n${out_reference}")
endif()
file(SIZE ${SCRATCH}/reference.bmp reference_bytes)
file(SIZE ${INPUT} input_bytes)
if(NOT reference_bytes EQUAL input_bytes)
  message(FATAL_ERROR "the reference output has ${reference_bytes} bytes, the input ${input_bytes}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SCRATCH}/target.bmp ${SCRATCH}/reference.bmp
  RESULT_VARIABLE differ)
if(differ)
  message(FATAL_ERROR "${SCRATCH}/target.bmp and ${SCRATCH}/reference.bmp differ")
endif()
message(STATUS "same ${reference_bytes} bytes as the native build")
