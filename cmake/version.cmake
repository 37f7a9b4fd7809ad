# The version, set once in project(), reaches the programs through a
# generated header; linking qmr4100_version puts it on the include path.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in
               ${PROJECT_BINARY_DIR}/generated/qmr4100/version.h @ONLY)
add_library(qmr4100_version INTERFACE)
target_include_directories(qmr4100_version INTERFACE ${PROJECT_BINARY_DIR}/generated)
