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
if(TARGET kestrelon-builder)
  list(APPEND CPACK_COMPONENTS_ALL builder)
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

# The builder composes boot media from these packages at run time; the
# Client's program goes into every initramfs it makes.
set(CPACK_DEBIAN_BUILDER_PACKAGE_NAME kestrelon-builder)
set(CPACK_DEBIAN_BUILDER_PACKAGE_DEPENDS
  "kestrelon-client (= ${PROJECT_VERSION}), ipxe, dnsmasq-base, busybox-static, syslinux, syslinux-common, syslinux-efi, mtools, dosfstools, kmod, iproute2")
set(CPACK_DEBIAN_BUILDER_PACKAGE_RECOMMENDS "linux-image-amd64")
set(CPACK_COMPONENT_BUILDER_DESCRIPTION
  "client builder of the Kestrelon disk-imaging system
kestrelon-builder prepares the boot media with which PCs become Kestrelon
Clients without installing anything on them: network boot files (iPXE for BIOS
and UEFI PCs, a boot menu, Debian's kernel and a small initramfs that runs
kestrelon-client over the PC's fixed disks) and a USB image, and serves the
network boot with dnsmasq (proxy DHCP or an isolated network, TFTP), at the
command line or from a systemd unit.")

include(CPack)
