# Installation into the usual places and the Debian package.
#
#   bin/vantrel                                   the program
#   share/applications/vantrel.desktop            its menu entry
#   share/icons/hicolor/{32x32,256x256}/apps/     its icon
#   share/doc/vantrel/manual.html                 the user manual (Help > Manual)
#
# The program finds the manual from its own folder (../share/doc/vantrel), so
# these destinations are fixed rather than taken from GNUInstallDirs.

install(TARGETS vantrel RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.html DESTINATION share/doc/vantrel)
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/128.png
        DESTINATION share/icons/hicolor/32x32/apps RENAME vantrel.png)
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/vantrel-256.png
        DESTINATION share/icons/hicolor/256x256/apps RENAME vantrel.png)

# The menu entry names the program by its installed path, which is known
# only while installing (--prefix of cmake --install, or /usr under CPack).
set(VANTREL_DESKTOP_ENTRY ${PROJECT_BINARY_DIR}/packaging/vantrel.desktop)
install(CODE "
    set(VANTREL_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/bin/vantrel\")
    configure_file(\"${PROJECT_SOURCE_DIR}/res/vantrel.desktop.in\" \"${VANTREL_DESKTOP_ENTRY}\" @ONLY)
")
install(FILES ${VANTREL_DESKTOP_ENTRY} DESTINATION share/applications)

set(VANTREL_PACKAGE_MAINTAINER "Vantrel developers" CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop website monitor with mail, URL and sound alerts")
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel keeps a list of web sites and checks them every few minutes: it
downloads each page, looks for a test string, logs every check and reports
failures by mail through an SMTP server, by calling an error URL and by a
sound. It lives in the system tray.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries come from dpkg-shlibdeps; Qt's platform plugins (the X11 and
# Wayland windows) and libcanberra's PulseAudio backend (the desktop's event
# sound volume and mute) are loaded at run time, so no library names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, libcanberra-pulse")
include(CPack)
