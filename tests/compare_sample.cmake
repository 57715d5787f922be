# Fails when samples/sample.bmp differs from what the sample maker writes now.
execute_process(COMMAND ${EMULATOR} ${MAKER} ${OUT} RESULT_VARIABLE made)
if(NOT made EQUAL 0)
  message(FATAL_ERROR "sample maker failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${SAMPLE} ${OUT} RESULT_VARIABLE differs)
if(NOT differs EQUAL 0)
  message(FATAL_ERROR "${SAMPLE} is not what the sample maker writes; regenerate it")
endif()
