# The Debian packages, made in the build tree with `cpack -G DEB`: kestrelon (the
# Controller, window and command line) and kestrelon-client (the reference
# Client), each depending on the shared libraries its programs use.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrelon)
set(CPACK_PACKAGE_VENDOR Kestrelon)
set(CPACK_PACKAGE_CONTACT "Kestrelon developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The programs are built with debugging information; the packages leave it out.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL controller)
if(TARGET kestrelon-client)
  list(APPEND CPACK_COMPONENTS_ALL client)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# Each description's first line is its package's summary.
set(CPACK_DEBIAN_CONTROLLER_PACKAGE_NAME kestrelon)
set(CPACK_DEBIAN_CONTROLLER_PACKAGE_SUGGESTS kestrelon-client)
set(CPACK_COMPONENT_CONTROLLER_DESCRIPTION
  "Controller of a network disk-imaging system
Kestrelon discovers the Client PCs of a local network over UDP multicast,
receives one Client's disk into an image file, multicasts an image file to many
Clients at once with resend requests, starts a copy at a clock time, and keeps
sets of Clients as named groups. This package holds the desktop Controller
(kestrelon) and its command-line front end (kestrelon-cli).")

set(CPACK_DEBIAN_CLIENT_PACKAGE_NAME kestrelon-client)
# The tools that grow a restored file system to fill a larger disk.
set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "e2fsprogs, ntfs-3g, fatresize")
set(CPACK_COMPONENT_CLIENT_DESCRIPTION
  "reference Client of the Kestrelon disk-imaging system
kestrelon-client answers the Controller's discovery requests, receives
multicast copies onto disk image files or block devices, and uploads images of
its disks. It can emulate many Clients in one process and misbehave on purpose,
for demonstrations, tests and network labs.")

include(CPack)
