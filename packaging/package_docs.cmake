# Each Debian package carries its copyright and a compressed changelog in
# /usr/share/doc/<package>/; qmr4100-tools also the README, the reference of
# the configuration, the outputs and the service.
set(QMR_PACKAGE_MAINTAINER "qmr4100 maintainers <maintainers@users.noreply.c-seed-6f3c8e71.example>"
    CACHE STRING "Maintainer named in the Debian packages and their changelog")

configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in
               ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
# -n: no name or time stamp in the archive, so the same sources give the same bytes.
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND gzip -9nf -k ${CMAKE_CURRENT_BINARY_DIR}/changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog)
add_custom_target(qmr4100_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)

foreach(component_package plugin:varnok-qmr4100 tools:qmr4100-tools)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()

configure_file(${PROJECT_SOURCE_DIR}/README.md ${CMAKE_CURRENT_BINARY_DIR}/README.md COPYONLY)
add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/README.md.gz
  COMMAND gzip -9nf -k ${CMAKE_CURRENT_BINARY_DIR}/README.md
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/README.md)
add_custom_target(qmr4100_readme ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/README.md.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.md.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/qmr4100-tools COMPONENT tools)
