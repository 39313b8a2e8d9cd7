# What `cmake --install` puts where, and the Debian package built from it by CPack
# (`cmake --build build/release --target package`). The layout under the prefix is the one
# kiru writes: bin/velmond, lib/velmo/velmond-gui, lib/velmo/drivers/{portio,mapmem},
# lib/systemd/system/*.service.

set(VELMO_PACKAGE_MAINTAINER "Velmo developers <velmo@example.org>"
  CACHE STRING "Maintainer field of the Debian package")
set(VELMO_DEB_RELEASE 1)
set(VELMO_DEB_VERSION "${PROJECT_VERSION}-${VELMO_DEB_RELEASE}")

install(TARGETS velmond velmo-identify DESTINATION bin)
if(VELMO_GUI)
  install(TARGETS kiru DESTINATION bin)
  install(TARGETS velmond-gui DESTINATION lib/velmo)
endif()

# The shipped units start the helpers from /usr/local; an installation elsewhere gets units
# that start them from its own prefix, known only when it installs.
foreach(name portio mapmem)
  set(unit_source "${PROJECT_SOURCE_DIR}/drivers/systemd/${name}.service")
  set(unit_staged "${PROJECT_BINARY_DIR}/packaging/${name}.service")
  install(CODE "
    file(READ \"${unit_source}\" unit)
    string(REPLACE \"ExecStart=/usr/local/lib/velmo/drivers/\"
      \"ExecStart=\${CMAKE_INSTALL_PREFIX}/lib/velmo/drivers/\" unit \"\${unit}\")
    file(WRITE \"${unit_staged}\" \"\${unit}\")
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE
      PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ FILES \"${unit_staged}\")")
endforeach()

add_subdirectory(doc/man)

install(FILES packaging/velmond.desktop DESTINATION share/applications)
# The application's icon; the other icons are the monitor's own resources.
install(FILES monitor/res/icons/cpu_chip.svg DESTINATION share/icons/hicolor/scalable/apps
  RENAME velmo.svg)

configure_file(packaging/changelog.in "${PROJECT_BINARY_DIR}/packaging/changelog" @ONLY)
add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz"
  COMMAND gzip -9n -c "${PROJECT_BINARY_DIR}/packaging/changelog"
          > "${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz"
  DEPENDS "${PROJECT_BINARY_DIR}/packaging/changelog")
add_custom_target(velmo_changelog ALL DEPENDS "${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz")
install(FILES packaging/copyright "${PROJECT_BINARY_DIR}/packaging/changelog.Debian.gz"
  DESTINATION share/doc/velmo)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmo)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${VELMO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "hardware-health monitor for Winbond-family, SiS and VIA monitor chips")
set(CPACK_PACKAGE_DESCRIPTION
  "Velmo reads the main board's hardware-monitor chip through I/O ports:
temperatures, fan speeds and voltages. It checks them against alarm ranges
and warns when one is out of range, with actions from silencing the alarm
to shutting the computer down.
.
Two small helper services, portio and mapmem, give an unprivileged monitor
the few ports and the BIOS bytes it needs; they admit the members of the
group velmo. The package also carries kiru, the setup program that installs
Velmo without a package manager.")
# Staged through DESTDIR, so that install-time code (the units) sees the package's prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${VELMO_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The package's architecture: the toolchain file's for a cross build (i386), else this machine's.
if(NOT CPACK_DEBIAN_PACKAGE_ARCHITECTURE)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE
    OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
# libsystemd is loaded only for a restart or shutdown (dlopen), so no library link names it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libsystemd0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${PROJECT_SOURCE_DIR}/packaging/debian/postinst"
  "${PROJECT_SOURCE_DIR}/packaging/debian/prerm"
  "${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
