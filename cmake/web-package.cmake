# The web page as a ZIP archive: `cpack` in the Emscripten build folder makes
# kinaro-<version>-web.zip, the folder of static files that any web server can serve.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kinaro)
set(CPACK_PACKAGE_FILE_NAME kinaro-${PROJECT_VERSION}-web)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
