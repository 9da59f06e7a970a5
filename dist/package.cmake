# The Debian packages, made in the build tree with `cpack -G DEB`, one per
# install component, each depending on the shared libraries its programs use:
#   kestrelon-cli     the command line alone: installs on a server without a desktop
#   kestrelon         the desktop Controller, its help book and icons; needs kestrelon-cli
#   kestrelon-client  the reference Client
#   kestrelon-builder the client builder: boot media and the network boot service
# A further package is one more kestrelon_package() call below.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrelon)
set(CPACK_PACKAGE_VENDOR Kestrelon)
set(CPACK_PACKAGE_CONTACT "Kestrelon developers")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The programs are built with debugging information; the packages leave it out.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A component's DEPENDS become "package (= version)" in its Depends.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_COMPONENTS_ALL)

# kestrelon_package(COMPONENT PACKAGE DESCRIPTION [DEPENDS component...] [SUGGESTS package...])
# The description's first line is the package's summary.
macro(kestrelon_package component package description)
  cmake_parse_arguments(kp "" "" "DEPENDS;SUGGESTS" ${ARGN})
  string(TOUPPER ${component} kp_upper)
  list(APPEND CPACK_COMPONENTS_ALL ${component})
  set(CPACK_DEBIAN_${kp_upper}_PACKAGE_NAME ${package})
  set(CPACK_COMPONENT_${kp_upper}_DESCRIPTION "${description}")
  set(CPACK_COMPONENT_${kp_upper}_DEPENDS ${kp_DEPENDS})
  if(kp_SUGGESTS)
    list(JOIN kp_SUGGESTS ", " CPACK_DEBIAN_${kp_upper}_PACKAGE_SUGGESTS)
  endif()
endmacro()

kestrelon_package(cli kestrelon-cli
  "command-line Controller of a network disk-imaging system
Kestrelon discovers the Client PCs of a local network over UDP multicast,
receives one Client's disk into an image file, multicasts an image file to many
Clients at once with resend requests, starts a copy at a clock time, and keeps
sets of Clients as named groups. This package holds the command line,
kestrelon-cli, which needs no display and no desktop libraries: for servers,
scripts and cron."
  SUGGESTS kestrelon-client)

if(TARGET kestrelon)
  kestrelon_package(controller kestrelon
    "desktop Controller of a network disk-imaging system
Kestrelon discovers the Client PCs of a local network over UDP multicast,
receives one Client's disk into an image file, multicasts an image file to many
Clients at once with resend requests, starts a copy at a clock time, and keeps
sets of Clients as named groups. This package holds the desktop Controller,
kestrelon, with its help book; the command line comes with kestrelon-cli."
    DEPENDS cli
    SUGGESTS kestrelon-client)
endif()

if(TARGET kestrelon-client)
  kestrelon_package(client kestrelon-client
    "reference Client of the Kestrelon disk-imaging system
kestrelon-client answers the Controller's discovery requests, receives
multicast copies onto disk image files or block devices, and uploads images of
its disks. It can emulate many Clients in one process and misbehave on purpose,
for demonstrations, tests and network labs.")
  # The tools that grow a restored file system to fill a larger disk.
  set(CPACK_DEBIAN_CLIENT_PACKAGE_RECOMMENDS "e2fsprogs, ntfs-3g, fatresize")
endif()

if(TARGET kestrelon-builder)
  kestrelon_package(builder kestrelon-builder
    "client builder of the Kestrelon disk-imaging system
kestrelon-builder prepares the boot media with which PCs become Kestrelon
Clients without installing anything on them: network boot files (iPXE for BIOS
and UEFI PCs, a boot menu, Debian's kernel and a small initramfs that runs
kestrelon-client over the PC's fixed disks) and a USB image, and serves the
network boot with dnsmasq (proxy DHCP or an isolated network, TFTP), at the
command line or from a systemd unit."
    DEPENDS client)
  # The builder composes boot media from these packages at run time; the
  # Client's program goes into every initramfs it makes.
  set(CPACK_DEBIAN_BUILDER_PACKAGE_DEPENDS
    "ipxe, dnsmasq-base, busybox-static, syslinux, syslinux-common, syslinux-efi, mtools, dosfstools, kmod, iproute2")
  set(CPACK_DEBIAN_BUILDER_PACKAGE_RECOMMENDS "linux-image-amd64")
endif()

include(CPack)
