# The Windows package: `cpack -G ZIP` in the MinGW build folder makes
# kinaro-1.62-win64.zip, a folder of the same name holding kinaro.exe and README.txt.
# kinaro.exe is linked statically and needs no DLL beyond Windows' own, so nothing else goes in.
install(TARGETS kinaro RUNTIME DESTINATION . COMPONENT kinaro)

# Windows line endings, so that every editor shows the readme as written.
file(READ ${CMAKE_SOURCE_DIR}/resources/windows/README.txt kinaro_readme)
string(REPLACE "\n" "\r\n" kinaro_readme "${kinaro_readme}")
file(WRITE ${CMAKE_BINARY_DIR}/package/README.txt "${kinaro_readme}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/resources/windows/README.txt)
install(FILES ${CMAKE_BINARY_DIR}/package/README.txt DESTINATION . COMPONENT kinaro)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kinaro)
set(CPACK_PACKAGE_VENDOR Kinaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Raster Metafile viewer and animator")
set(CPACK_PACKAGE_FILE_NAME kinaro-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
