# Writes one gzipped manual page with help2man. Run as
#   cmake -DHELP2MAN=... -DPROGRAM=<emulator;program> -DNAME=... -DSUMMARY=...
#         -DPAGE=<out.1.gz> -DINCLUDE=<sections.h2m or empty> -DBUILT_PLUGIN=...
#         -DINSTALLED_PLUGIN=... -P help2man.cmake
# help2man runs a single command, so the emulator and program go into a small
# wrapper script. The gateway's help names the default plug-in it found, the
# one of the build tree: the page names the installed one instead.
get_filename_component(work ${PAGE} DIRECTORY)
file(MAKE_DIRECTORY ${work})
list(JOIN PROGRAM "\" \"" quoted)
set(wrapper ${work}/${NAME})
file(WRITE ${wrapper} "#!/bin/sh\nexec \"${quoted}\" \"$@\"\n")
file(CHMOD ${wrapper} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)

set(include_option)
if(INCLUDE)
  set(include_option --include=${INCLUDE})
endif()
execute_process(COMMAND ${HELP2MAN} --no-info --no-discard-stderr --name=${SUMMARY}
                        ${include_option} --output=${work}/${NAME}.1 ${wrapper}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed for ${NAME}")
endif()
file(READ ${work}/${NAME}.1 page)
string(REPLACE "${BUILT_PLUGIN}" "${INSTALLED_PLUGIN}" page "${page}")
# help2man writes every "-" of the text as "\-".
string(REPLACE "-" "\\-" built_escaped "${BUILT_PLUGIN}")
string(REPLACE "-" "\\-" installed_escaped "${INSTALLED_PLUGIN}")
string(REPLACE "${built_escaped}" "${installed_escaped}" page "${page}")
file(WRITE ${work}/${NAME}.1 "${page}")
execute_process(COMMAND gzip -9nf ${work}/${NAME}.1 RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed for ${NAME}.1")
endif()
