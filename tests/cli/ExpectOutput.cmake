# Runs a program and compares what it wrote, byte for byte, with a file of
# expected bytes: cmake -DPROGRAM=... -DARGS=a;b -DEXPECTED=file
# -DACTUAL=file [-DEMULATOR=runner;args] -P ExpectOutput.cmake. With -o -
# among ARGS the bytes are those of standard output; otherwise, when
# OUTPUT_FILE is given, those of that file.
execute_process(COMMAND ${EMULATOR} ${PROGRAM} ${ARGS}
                OUTPUT_FILE ${ACTUAL}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ${ARGS} ended with ${status}")
endif()
if(DEFINED OUTPUT_FILE)
  set(ACTUAL ${OUTPUT_FILE})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${ACTUAL} ${EXPECTED} RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${ACTUAL} differs from ${EXPECTED}")
endif()
