# Installation into the usual places and the Debian package.
#
#   bin/vantrel                                       the program
#   lib/<multiarch>/vantrel/libvantrel-*.so           its desktop part and instance link (private)
#   share/applications/org.vantrel.vantrel.desktop    its menu entry
#   share/metainfo/org.vantrel.vantrel.metainfo.xml   its AppStream description
#   share/icons/hicolor/{NxN,scalable}/apps/          its icon, at every theme size
#   share/man/man1/vantrel.1.gz                       its manual page
#   share/doc/vantrel/manual.html, screenshots/       the user manual (Help > Manual)
#   share/doc/vantrel/{copyright,changelog.Debian.gz} the package's copyright and history
#
# The program finds the manual from its own folder (../share/doc/vantrel), so
# these destinations are fixed rather than taken from GNUInstallDirs.

set(VANTREL_APP_ID org.vantrel.vantrel)
set(VANTREL_DEB_MAINTAINER "Vantrel Developers <developers@vantrel.invalid>"
    CACHE STRING "Maintainer field of the Debian package")
# Where the project publishes its pages; the AppStream screenshots are the
# files of docs/screenshots/ under it. Empty (the default) leaves the homepage
# and the screenshots out of the AppStream file and the package, rather than
# naming an address nobody serves.
set(VANTREL_HOMEPAGE "" CACHE STRING "The project's web site, ending in /")
set(VANTREL_STAGE ${PROJECT_BINARY_DIR}/packaging)
set(VANTREL_WEB_ENTRIES "")
if(VANTREL_HOMEPAGE)
    file(READ ${PROJECT_SOURCE_DIR}/res/metainfo-web.xml.in VANTREL_WEB_ENTRIES)
    string(CONFIGURE "${VANTREL_WEB_ENTRIES}" VANTREL_WEB_ENTRIES @ONLY)
endif()

# Compressed copies as Debian wants them: best compression, no name or time
# stamp inside, so the same sources give the same bytes. Made at configure
# time (and again when a source changes), so an install never lacks them.
function(vantrel_gzip source output)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${output} RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "gzip ${source} failed")
    endif()
endfunction()
file(MAKE_DIRECTORY ${VANTREL_STAGE})
vantrel_gzip(${PROJECT_SOURCE_DIR}/docs/vantrel.1 ${VANTREL_STAGE}/vantrel.1.gz)
vantrel_gzip(${PROJECT_SOURCE_DIR}/cmake/debian/changelog ${VANTREL_STAGE}/changelog.Debian.gz)
configure_file(${PROJECT_SOURCE_DIR}/res/${VANTREL_APP_ID}.metainfo.xml
               ${VANTREL_STAGE}/${VANTREL_APP_ID}.metainfo.xml @ONLY)

install(TARGETS vantrel RUNTIME DESTINATION bin)
# Libraries the program loads by path (see app/CMakeLists.txt), not linked
# against: a private folder, no SONAME, no run path.
install(TARGETS vantrel_desktop vantrel_instance_link LIBRARY DESTINATION ${VANTREL_PRIVATE_LIBDIR}
        PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
install(FILES ${PROJECT_SOURCE_DIR}/docs/manual.html DESTINATION share/doc/vantrel)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/screenshots DESTINATION share/doc/vantrel FILES_MATCHING PATTERN "*.png")
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright ${VANTREL_STAGE}/changelog.Debian.gz
        DESTINATION share/doc/vantrel)
install(FILES ${VANTREL_STAGE}/vantrel.1.gz DESTINATION share/man/man1)
install(FILES ${VANTREL_STAGE}/${VANTREL_APP_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/lintian-overrides DESTINATION share/lintian/overrides
        RENAME vantrel)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/doc-base DESTINATION share/doc-base RENAME vantrel)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/res/icons/vantrel-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME vantrel.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/vantrel.svg DESTINATION share/icons/hicolor/scalable/apps)

# The menu entry names the program by its installed path, which is known
# only while installing (--prefix of cmake --install, or /usr under CPack).
set(VANTREL_DESKTOP_ENTRY ${VANTREL_STAGE}/${VANTREL_APP_ID}.desktop)
install(CODE "
    set(VANTREL_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/bin/vantrel\")
    configure_file(\"${PROJECT_SOURCE_DIR}/res/${VANTREL_APP_ID}.desktop.in\" \"${VANTREL_DESKTOP_ENTRY}\" @ONLY)
")
install(FILES ${VANTREL_DESKTOP_ENTRY} DESTINATION share/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vantrel)
set(CPACK_PACKAGE_VENDOR "Vantrel")
set(CPACK_PACKAGE_CONTACT "${VANTREL_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "desktop website monitor with mail, URL and sound alerts
Vantrel keeps a list of web sites and checks them every few minutes: it
downloads each page, looks for a test string, logs every check and reports
failures by mail through an SMTP server, by calling an error URL and by a
sound. It lives in the system tray, and monitors headless without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 2)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VANTREL_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(VANTREL_HOMEPAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VANTREL_HOMEPAGE}")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries come from dpkg-shlibdeps, run at packaging time by
# DebDepends.cmake. Three needs no library symbol shows are listed here: Qt's
# platform plugins (the X11 and Wayland windows) are loaded at run time, the
# http/https-only protocol list (CURLOPT_PROTOCOLS_STR) needs curl 7.85, and
# the keyring library loads libsecret at run time to reach the Secret Service.
# dpkg-shlibdeps leaves libcurl4 out, so Depends names it once.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(VANTREL_DEB_EXPLICIT_DEPENDS "qt6-qpa-plugins, libcurl4 (>= 7.85.0), libsecret-1-0")
set(VANTREL_DEB_BINARY "$<TARGET_FILE:vantrel>;$<TARGET_FILE:vantrel_desktop>;$<TARGET_FILE:vantrel_instance_link>")
file(GENERATE OUTPUT "${CMAKE_BINARY_DIR}/CPackDebConfig.cmake" CONTENT
"set(VANTREL_DEB_BINARY \"${VANTREL_DEB_BINARY}\")
set(VANTREL_DEB_EXPLICIT_DEPENDS \"${VANTREL_DEB_EXPLICIT_DEPENDS}\")
set(VANTREL_DEB_SHLIBDEPS_EXCLUDE libcurl4)
include(\"${CMAKE_CURRENT_LIST_DIR}/DebDepends.cmake\")
")
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_BINARY_DIR}/CPackDebConfig.cmake")
# Help and Support open the manual and mails through xdg-open; sounds reach
# PulseAudio and PipeWire desktops through libcanberra's pulse backend.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, libcanberra-pulse")
include(CPack)
