# Compiles the live page's files into web_assets.cpp as raw string literals.
# CMake runs again when one of them changes.
set(WEB_ASSETS
  "/|index.html|text/html"
  "/app.js|app.js|text/javascript"
  "/app.css|app.css|text/css"
  "/uPlot.min.js|uplot/uPlot.iife.min.js|text/javascript"
  "/uPlot.min.css|uplot/uPlot.min.css|text/css")
set(WEB_ASSET_DELIMITER "qmr4100web")

set(WEB_ASSET_ENTRIES "")
foreach(asset IN LISTS WEB_ASSETS)
  string(REPLACE "|" ";" parts "${asset}")
  list(GET parts 0 url)
  list(GET parts 1 file)
  list(GET parts 2 type)
  set(source "${CMAKE_CURRENT_SOURCE_DIR}/web/${file}")
  file(READ "${source}" content)
  string(FIND "${content}" ")${WEB_ASSET_DELIMITER}\"" clash)
  if(NOT clash EQUAL -1)
    message(FATAL_ERROR "${source} contains the raw string delimiter ${WEB_ASSET_DELIMITER}")
  endif()
  set(literal "R\"${WEB_ASSET_DELIMITER}(${content})${WEB_ASSET_DELIMITER}\"")
  string(APPEND WEB_ASSET_ENTRIES
    "    {\"${url}\", \"${type}; charset=utf-8\",\n     ${literal}},\n")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${source}")
endforeach()
configure_file(web_assets.cpp.in "${CMAKE_CURRENT_BINARY_DIR}/web_assets.cpp" @ONLY)
