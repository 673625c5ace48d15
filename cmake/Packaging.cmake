# `cpack -G DEB` in the build tree makes a Debian package of everything `cmake --install`
# puts in place. Its dependencies are worked out by dpkg-shlibdeps from the libraries the
# programs link, so they follow the build machine's Qt and libmodbus without being listed
# here. (Qt's platform plugins, which no program links, come with libqt6gui6.)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME modbus-tcp)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The maintainer as LICENSE names the copyright holder. The project has no mail address of
# its own: the reserved domain .invalid (RFC 2606) says so plainly, where an invented one
# might belong to somebody.
set(CPACK_PACKAGE_CONTACT "The modbus-tcp developers <maintainers@modbus-tcp.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop test tool for Modbus TCP devices")
# Debian wants the lines of the long description no wider than 80 columns, counting the
# space that starts each of them in the control file.
set(CPACK_PACKAGE_DESCRIPTION [=[Reads holding registers, coils and discrete inputs of a Modbus TCP device
into sixteen value boxes, writes registers and coils back, and monitors values
once a second. Includes modbus-sim, a Modbus TCP device simulator for trying
the tool without hardware.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
