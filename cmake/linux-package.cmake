# The Debian packages: `cpack -G DEB` (or plain `cpack`) in the build folder makes
# kinaro_<version>-<release>_<arch>.deb from what `cmake --install` puts under /usr (the
# install component "viewer") and, when the Python package is built, python3-kinaro_...deb
# from the component "python", in the same run.

set(KINARO_DEB_RELEASE 1)
set(KINARO_MAINTAINER "The Kinaro developers <developers@kinaro.org>")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kinaro)
set(CPACK_PACKAGE_VENDOR "The Kinaro developers")
set(CPACK_PACKAGE_CONTACT "${KINARO_MAINTAINER}")
# Each description's first line is the package's summary.
set(CPACK_DEBIAN_VIEWER_DESCRIPTION [[
viewer and animator for Raster Metafile animations
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

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL viewer)
set(CPACK_DEBIAN_VIEWER_PACKAGE_NAME kinaro)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${KINARO_DEB_RELEASE})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies come from the libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The desktop database tells "open with" which program takes the file type.
set(CPACK_DEBIAN_VIEWER_PACKAGE_RECOMMENDS "desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# No maintainer scripts: the MIME database, the desktop database and the icon cache are
# refreshed by the file triggers of shared-mime-info, desktop-file-utils and
# hicolor-icon-theme, and the manual page index by man-db's, when dpkg unpacks files into
# the folders they watch.

# The Python package: the module kinaro for Debian's Python 3 of the build. The extension's
# own libraries come from dpkg-shlibdeps; NumPy is imported at run time.
if(KINARO_PYTHON)
  list(APPEND CPACK_COMPONENTS_ALL python)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-kinaro)
  set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
  set(python_version ${Python3_VERSION_MAJOR}.${Python3_VERSION_MINOR})
  math(EXPR python_next "${Python3_VERSION_MINOR} + 1")
  set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS
    "python3 (>= ${python_version}~), python3 (<< ${Python3_VERSION_MAJOR}.${python_next}), python3-numpy")
  # Pillow opens metafiles through the module once it is imported.
  set(CPACK_DEBIAN_PYTHON_PACKAGE_RECOMMENDS python3-pil)
  set(CPACK_DEBIAN_PYTHON_DESCRIPTION [[
Raster Metafile animations as NumPy arrays (Python 3)
The module kinaro reads Raster Metafiles (.rm), sequences of 8-bit
colour-indexed frames, through the reader of the Kinaro viewer, so every
frame is exactly what the viewer shows: kinaro.open() gives the frames as
NumPy arrays of colour indices with their colour tables, fill values and
frame numbers, with the viewer's frame selection and adjustments, random
access and clear errors for damaged files. kinaro.write() makes metafiles
from indexed or RGB arrays with rmtool's encoder.

Once kinaro is imported, Pillow opens metafiles as palette images with
every frame (PIL.Image.open), and in IPython and Jupyter frames show
themselves as pictures and files as short animations.]])
endif()

# What Debian asks of every package: its copyright and its changelog, compressed.
set(package_docs ${CMAKE_BINARY_DIR}/package-docs)
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
find_program(KINARO_GZIP gzip REQUIRED)
function(kinaro_package_docs package component)
  set(docs ${package_docs}/${package})
  file(MAKE_DIRECTORY ${docs})
  file(WRITE ${docs}/changelog.Debian
    "${package} (${PROJECT_VERSION}-${KINARO_DEB_RELEASE}) unstable; urgency=medium\n\n"
    "  * Kinaro ${PROJECT_VERSION}, packaged from its sources with CPack.\n\n"
    " -- ${KINARO_MAINTAINER}  ${changelog_date}\n")
  execute_process(COMMAND ${KINARO_GZIP} -9 -n -c ${docs}/changelog.Debian
    OUTPUT_FILE ${docs}/changelog.Debian.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${CMAKE_SOURCE_DIR}/desktop/copyright ${docs}/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()
kinaro_package_docs(kinaro viewer)
if(KINARO_PYTHON)
  kinaro_package_docs(python3-kinaro python)
endif()
