# Self-contained pieces of the gateway program: the snapshot cache store and
# the readable views of a snapshot block. Included from the gateway's build.
add_library(qmr4100gw_parts STATIC
  ${CMAKE_CURRENT_LIST_DIR}/cache_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_show.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cache_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/block_view.cpp)
target_include_directories(qmr4100gw_parts PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qmr4100gw_parts PUBLIC qmr4100_layout PRIVATE fmt::fmt Boost::headers)
