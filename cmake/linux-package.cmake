# The Debian package: `cpack -G DEB` (or plain `cpack`) in the build folder makes
# kinaro_<version>-<release>_<arch>.deb from what `cmake --install` puts under /usr.

set(KINARO_DEB_RELEASE 1)
set(KINARO_MAINTAINER "The Kinaro developers <developers@kinaro.org>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kinaro)
set(CPACK_PACKAGE_VENDOR "The Kinaro developers")
set(CPACK_PACKAGE_CONTACT "${KINARO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer and animator for Raster Metafile animations")
set(CPACK_PACKAGE_DESCRIPTION [[
Kinaro opens a Raster Metafile (.rm), a sequence of 8-bit colour-indexed
frames, and shows its frames one at a time in a window sized to the first
frame. It plays them as an animation, forward, backward, in a loop or back
and forth, at a pace that can be changed while it runs, and steps through
them frame by frame, driven by keys, a menu and the mouse buttons.

The package also holds rmtool, which describes and checks metafiles,
exports their frames as PNG images or an animated GIF, makes metafiles
from PNG and GIF images, and draws the previews that file managers show.]])

# Installed under /usr with DESTDIR pointing at the staging folder, so that the install
# knows it is staged and leaves the system's caches to the package manager.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KINARO_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The desktop database tells "open with" which program takes the file type.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# No maintainer scripts: the MIME database, the desktop database and the icon cache are
# refreshed by the file triggers of shared-mime-info, desktop-file-utils and
# hicolor-icon-theme, and the manual page index by man-db's, when dpkg unpacks files into
# the folders they watch.

# What Debian asks of every package: its copyright and its changelog, compressed.
set(package_docs ${CMAKE_BINARY_DIR}/package-docs)
file(MAKE_DIRECTORY ${package_docs})
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${package_docs}/changelog.Debian
  "kinaro (${PROJECT_VERSION}-${KINARO_DEB_RELEASE}) unstable; urgency=medium\n\n"
  "  * Kinaro ${PROJECT_VERSION}, packaged from its sources with CPack.\n\n"
  " -- ${KINARO_MAINTAINER}  ${changelog_date}\n")
find_program(KINARO_GZIP gzip REQUIRED)
execute_process(COMMAND ${KINARO_GZIP} -9 -n -c ${package_docs}/changelog.Debian
  OUTPUT_FILE ${package_docs}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${CMAKE_SOURCE_DIR}/desktop/copyright ${package_docs}/changelog.Debian.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kinaro)
