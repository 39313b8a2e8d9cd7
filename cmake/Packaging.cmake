# What `cmake --install` puts where, and the Debian package built from it by CPack
# (`cmake --build build/release --target package`). The layout under the prefix is the one
# kiru writes: bin/velmond, lib/velmo/velmond-gui, lib/velmo/drivers/{portio,mapmem},
# lib/systemd/system/{portio,mapmem}.{service,socket}; the package adds the headless service,
# its polkit rule, the AppStream file and the icon at the sizes desktops ask for.

set(VELMO_PACKAGE_MAINTAINER "Velmo developers <velmo@example.org>"
  CACHE STRING "Maintainer field of the Debian package")
set(VELMO_DEB_RELEASE 1)
set(VELMO_DEB_VERSION "${PROJECT_VERSION}-${VELMO_DEB_RELEASE}")
set(VELMO_RELEASE_DATE 2026-12-08)  # the date of packaging/changelog.in
set(VELMO_APP_ID org.example.velmo CACHE STRING "AppStream component id (reverse DNS)")
set(VELMO_HOMEPAGE "https://velmo.example.org/" CACHE STRING "Home page in the AppStream file")
set(VELMO_CONTACT_EMAIL "velmo@example.org" CACHE STRING "Contact in the AppStream file")
set(VELMO_SCREENSHOT_URL "https://velmo.example.org/screenshots/monitor.png"
  CACHE STRING "Where the AppStream file's screenshot is published (scripts/screenshots.sh)")
set(VELMO_SCREENSHOT_WIDTH 1024)
set(VELMO_SCREENSHOT_HEIGHT 768)

install(TARGETS velmond velmo-identify DESTINATION bin)
if(VELMO_GUI)
  install(TARGETS kiru DESTINATION bin)
  install(TARGETS velmond-gui DESTINATION lib/velmo)
endif()

# The shipped units start the helpers from /usr/local and the headless monitor from /usr; an
# installation elsewhere gets units that start them from its own prefix, known only when it
# installs.
set(velmo_units
  "drivers/systemd/portio.service|/usr/local/lib/velmo/drivers/"
  "drivers/systemd/mapmem.service|/usr/local/lib/velmo/drivers/"
  "drivers/systemd/portio.socket|"
  "drivers/systemd/mapmem.socket|"
  "packaging/velmo-headless.service|/usr/bin/")
foreach(entry ${velmo_units})
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 unit_file)
  list(GET entry 1 shipped_dir)
  get_filename_component(unit_name "${unit_file}" NAME)
  string(REGEX REPLACE "^/usr(/local)?/" "" relative_dir "${shipped_dir}")
  set(unit_staged "${PROJECT_BINARY_DIR}/packaging/${unit_name}")
  install(CODE "
    file(READ \"${PROJECT_SOURCE_DIR}/${unit_file}\" unit)
    if(NOT \"${shipped_dir}\" STREQUAL \"\")
      string(REPLACE \"ExecStart=${shipped_dir}\"
        \"ExecStart=\${CMAKE_INSTALL_PREFIX}/${relative_dir}\" unit \"\${unit}\")
    endif()
    file(WRITE \"${unit_staged}\" \"\${unit}\")
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\" TYPE FILE
      PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ FILES \"${unit_staged}\")")
endforeach()
# Lets the headless service's user, and only it, restart and power off the machine.
install(FILES packaging/polkit/50-velmo-headless.rules DESTINATION share/polkit-1/rules.d)

add_subdirectory(doc/man)

install(FILES packaging/velmond.desktop DESTINATION share/applications)
configure_file(packaging/velmo.metainfo.xml.in
  "${PROJECT_BINARY_DIR}/packaging/${VELMO_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/packaging/${VELMO_APP_ID}.metainfo.xml"
  DESTINATION share/metainfo)
# The application's icon, drawn at the sizes desktops ask for from the same drawing; the other
# icons are the monitor's own resources.
set(VELMO_ICON_SOURCE "${PROJECT_SOURCE_DIR}/monitor/res/icons/cpu_chip.svg")
install(FILES "${VELMO_ICON_SOURCE}" DESTINATION share/icons/hicolor/scalable/apps
  RENAME velmo.svg)
find_program(VELMO_RSVG_CONVERT rsvg-convert REQUIRED)
set(VELMO_ICON_SIZES 16 22 24 32 48 64 128 256)
set(icon_files)
foreach(size ${VELMO_ICON_SIZES})
  set(icon "${PROJECT_BINARY_DIR}/packaging/icons/${size}x${size}/velmo.png")
  add_custom_command(OUTPUT "${icon}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/packaging/icons/${size}x${size}"
    COMMAND ${VELMO_RSVG_CONVERT} --width ${size} --height ${size} --output "${icon}"
            "${VELMO_ICON_SOURCE}"
    DEPENDS "${VELMO_ICON_SOURCE}" VERBATIM)
  list(APPEND icon_files "${icon}")
  install(FILES "${icon}" DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_target(velmo_icons ALL DEPENDS ${icon_files})

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
# The libraries come from dpkg-shlibdeps; adduser runs in postinst. velmond's libsystemd, loaded
# only for a restart or shutdown (dlopen), is among them through the helpers, which link it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  "${PROJECT_SOURCE_DIR}/packaging/debian/postinst"
  "${PROJECT_SOURCE_DIR}/packaging/debian/prerm"
  "${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
