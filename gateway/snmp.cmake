# The SNMP sub-agent (Net-SNMP's agent library) and the QMR4100-MIB it serves.
# The MIB's root OID is chosen here; the default lies in Net-SNMP's branch for
# experiments (enterprises.8072.9999). A deployment sets its own enterprise
# number, e.g. -DQMR4100_SNMP_ROOT=1.3.6.1.4.1.99999.4100.
set(QMR4100_SNMP_ROOT "1.3.6.1.4.1.8072.9999.4100" CACHE STRING
    "Root OID of the QMR4100-MIB, below 1.3.6.1.4.1 (enterprises)")
if(NOT QMR4100_SNMP_ROOT MATCHES "^1\\.3\\.6\\.1\\.4\\.1(\\.[0-9]+)+$")
  message(FATAL_ERROR "QMR4100_SNMP_ROOT: ${QMR4100_SNMP_ROOT} is not an OID below "
                      "1.3.6.1.4.1 (enterprises)")
endif()

# The MIB module as built: the repository's copy with the root OID chosen above.
set(qmr4100_mib_source ${PROJECT_SOURCE_DIR}/mibs/QMR4100-MIB.txt)
set(QMR4100_MIB_DIR ${PROJECT_BINARY_DIR}/mibs CACHE INTERNAL "Directory of the built MIB")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${qmr4100_mib_source})
file(READ ${qmr4100_mib_source} qmr4100_mib)
string(REGEX REPLACE "^1\\.3\\.6\\.1\\.4\\.1\\." "" qmr4100_below ${QMR4100_SNMP_ROOT})
string(REPLACE "." " " qmr4100_below ${qmr4100_below})
string(REPLACE "::= { enterprises 8072 9999 4100 }" "::= { enterprises ${qmr4100_below} }"
       qmr4100_mib "${qmr4100_mib}")
file(WRITE ${QMR4100_MIB_DIR}/QMR4100-MIB.txt "${qmr4100_mib}")
install(FILES ${QMR4100_MIB_DIR}/QMR4100-MIB.txt DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/snmp/mibs
        COMPONENT tools)

# Without Net-SNMP (a cross build: Debian's libsnmp-dev has one architecture
# at a time) the gateway refuses --snmp-agentx and builds all the same.
find_library(NETSNMP_AGENT_LIBRARY netsnmpagent)
find_library(NETSNMP_LIBRARY netsnmp)
if(NOT NETSNMP_AGENT_LIBRARY OR NOT NETSNMP_LIBRARY)
  message(STATUS "Net-SNMP not found: the gateway is built without its SNMP sub-agent")
  add_library(qmr4100gw_snmp STATIC
    ${CMAKE_CURRENT_LIST_DIR}/snmp_options.cpp
    ${CMAKE_CURRENT_LIST_DIR}/snmp_unavailable.cpp)
  target_link_libraries(qmr4100gw_snmp PUBLIC qmr4100gw CLI11::CLI11)
  set(QMR4100_WITH_SNMP OFF CACHE INTERNAL "Whether the SNMP sub-agent is built")
  return()
endif()
set(QMR4100_WITH_SNMP ON CACHE INTERNAL "Whether the SNMP sub-agent is built")

string(REPLACE "." "," qmr4100_root_list ${QMR4100_SNMP_ROOT})
add_library(qmr4100gw_snmp STATIC
  ${CMAKE_CURRENT_LIST_DIR}/snmp_agent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snmp_alarm_index.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snmp_objects.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snmp_options.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snmp_rows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snmp_subagent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snmp_tree.cpp
  ${CMAKE_CURRENT_LIST_DIR}/snmp_wakeup.cpp)
target_compile_definitions(qmr4100gw_snmp PUBLIC QMR4100_SNMP_ROOT=${qmr4100_root_list})
target_link_libraries(qmr4100gw_snmp
  PUBLIC qmr4100gw CLI11::CLI11
  PRIVATE fmt::fmt ${NETSNMP_AGENT_LIBRARY} ${NETSNMP_LIBRARY})
