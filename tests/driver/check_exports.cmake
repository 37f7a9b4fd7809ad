# Fails unless get_providers is the only symbol the plug-in defines for the
# dynamic linker. Run as: cmake -DNM=<nm> -DPLUGIN=<path> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only ${PLUGIN}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${PLUGIN}")
endif()
string(REGEX REPLACE "[^\n]* ([^ \n]+)\n" "\\1;" names "${listing}")
if(NOT names STREQUAL "get_providers;")
  message(FATAL_ERROR "${PLUGIN} defines more than get_providers:\n${listing}")
endif()
