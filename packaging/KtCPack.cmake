# make package: one Debian package per component, dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kt-vistrand)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "KT-Vistrand")
set(CPACK_PACKAGE_CONTACT "KT-Vistrand support <support@kt-vistrand.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL server tool cli)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # NAME_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

set(CPACK_DEBIAN_SERVER_PACKAGE_NAME kt-vistrand-server)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)
# The service user comes from systemd-sysusers, or adduser where systemd is absent.
set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "systemd | adduser")
set(CPACK_COMPONENT_SERVER_DESCRIPTION "Price-check server for KX25 terminals\nAnswers the scans of network price-check terminals from the accounting product's\ndBASE/CDX tables; runs with a window on a desktop or headless as a systemd service.")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    ${CMAKE_CURRENT_SOURCE_DIR}/deb/server/postinst
    ${CMAKE_CURRENT_SOURCE_DIR}/deb/server/prerm
    ${CMAKE_CURRENT_SOURCE_DIR}/deb/server/postrm
    ${CMAKE_CURRENT_SOURCE_DIR}/deb/server/conffiles)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME kx25config)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION net)
set(CPACK_DEBIAN_TOOL_PACKAGE_RECOMMENDS "atftp")
set(CPACK_COMPONENT_TOOL_DESCRIPTION "Configuration tool for KX25 price-check terminals\nFinds terminals on the local network, reads and writes their configuration, opens a\nTCP terminal to them and uploads firmware.")

set(CPACK_DEBIAN_CLI_PACKAGE_NAME kt-vistrand-tools)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_CLI_DESCRIPTION "Command-line tools for KX25 and KT-Vistrand technicians\nktdb inspects accounting tables and indexes, ktvistrand-lookup looks codes up as a\nterminal would, kx25ctl configures terminals from scripts, kx25sim simulates terminals.")

include(CPack)
