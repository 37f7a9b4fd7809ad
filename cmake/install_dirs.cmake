# Where an installation puts the plug-in and the programs' private host
# runtime: under Debian's multiarch library folder, e.g.
# /usr/lib/x86_64-linux-gnu/qmr4100/plugins/. Relative to the prefix, and as
# full paths for what is compiled or linked in.
set(QMR_PRIVATE_LIBDIR ${CMAKE_INSTALL_LIBDIR}/qmr4100)
set(QMR_PLUGIN_DIR ${QMR_PRIVATE_LIBDIR}/plugins)
get_filename_component(QMR_FULL_PRIVATE_LIBDIR ${QMR_PRIVATE_LIBDIR} ABSOLUTE
                       BASE_DIR ${CMAKE_INSTALL_PREFIX})
get_filename_component(QMR_FULL_PLUGIN_DIR ${QMR_PLUGIN_DIR} ABSOLUTE
                       BASE_DIR ${CMAKE_INSTALL_PREFIX})
