# Manual pages made by help2man from the programs' --help and --version.
# A cross build runs the programs through its emulator.
find_program(HELP2MAN help2man REQUIRED)

set(man_dir ${CMAKE_CURRENT_BINARY_DIR}/man)
set(installed_plugin ${QMR_FULL_PLUGIN_DIR}/varnok_qmr4100.so)
set(manpages)
foreach(entry "qmr4100-gateway:poll QMR4100 power systems through the varnok_qmr4100 plug-in"
              "qmr4100-sim:simulate a QMR4100 power system on a serial line"
              "qmr4100ctl:show and check what a running qmr4100-gateway knows")
  string(FIND "${entry}" ":" colon)
  string(SUBSTRING "${entry}" 0 ${colon} program)
  math(EXPR after "${colon} + 1")
  string(SUBSTRING "${entry}" ${after} -1 summary)
  set(page ${man_dir}/${program}.1.gz)
  # Sections beyond --help (configuration, service, files) where a program has them.
  set(include ${CMAKE_CURRENT_LIST_DIR}/${program}.h2m)
  if(NOT EXISTS ${include})
    set(include "")
  endif()
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DHELP2MAN=${HELP2MAN}
            "-DPROGRAM=${CMAKE_CROSSCOMPILING_EMULATOR};$<TARGET_FILE:${program}>"
            -DNAME=${program} "-DSUMMARY=${summary}" -DPAGE=${page} "-DINCLUDE=${include}"
            -DBUILT_PLUGIN=$<TARGET_FILE:varnok_qmr4100> -DINSTALLED_PLUGIN=${installed_plugin}
            -P ${CMAKE_CURRENT_LIST_DIR}/help2man.cmake
    DEPENDS ${program} varnok_qmr4100 ${CMAKE_CURRENT_LIST_DIR}/help2man.cmake ${include}
    VERBATIM)
  list(APPEND manpages ${page})
endforeach()
add_custom_target(qmr4100_manpages ALL DEPENDS ${manpages})
install(FILES ${manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
