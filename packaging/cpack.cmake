# Debian packages, one per install component:
#   varnok-qmr4100  the plug-in (component plugin)
#   qmr4100-tools   the gateway and the rest (component tools)
# The architecture is dpkg's own, or the toolchain file's for a cross build.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qmr4100)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${QMR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The build keeps its debugging information; the packages do not.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL plugin tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE qmr4100)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The plug-in and the programs need the host runtime, which comes from the
# host process or from qmr4100-tools itself, never from another package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/host)

set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME varnok-qmr4100)
set(CPACK_COMPONENT_PLUGIN_DESCRIPTION
    "QMR4100 power system driver plug-in (varnok_qmr4100)
The plug-in a monitoring gateway loads to poll QMR4100 DC power systems
over YD/T 1363.3 serial lines. It publishes an 895-byte snapshot block
per polling cycle and reports the system's alarm table. It needs the host
framework runtime of the process that loads it.")

set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qmr4100-tools)
# The service's user comes from systemd-sysusers, or from adduser without it;
# lintian wants adduser itself named for a script that may call it.
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "varnok-qmr4100 (= ${PROJECT_VERSION}), adduser")
set(CPACK_DEBIAN_TOOLS_PACKAGE_RECOMMENDS systemd)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
    "QMR4100 gateway, simulator, client and system service
qmr4100-gateway loads the varnok_qmr4100 plug-in and polls QMR4100 power
systems on serial lines, keeps their snapshot cache and records what they
publish; qmr4100-sim simulates a power system on a pseudo-terminal or serial
port; qmr4100ctl shows a running gateway's devices and checks them as a
monitoring plug-in. Includes the systemd service qmr4100-gateway with its
system user qmr4100, an example configuration in /etc/qmr4100/gateway.json,
the QMR4100-MIB for the gateway's SNMP sub-agent, and Prometheus alerting
rules and a Grafana dashboard in /usr/share/qmr4100.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_LIST_DIR}/debian/conffiles ${CMAKE_CURRENT_LIST_DIR}/debian/postinst
    ${CMAKE_CURRENT_LIST_DIR}/debian/prerm ${CMAKE_CURRENT_LIST_DIR}/debian/postrm)

include(CPack)
