# The Windows package: `cpack -G ZIP` in the MinGW build folder makes
# kinaro-1.62-win64.zip, a folder of the same name holding kinaro.exe, README.txt and
# LICENSE.txt. kinaro.exe is linked statically and needs no DLL beyond Windows' own.
install(TARGETS kinaro RUNTIME DESTINATION . COMPONENT kinaro)

# Windows line endings, so that every editor shows the readme and the licence as written.
function(kinaro_windows_text source name)
  file(READ ${source} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${CMAKE_BINARY_DIR}/package/${name} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  install(FILES ${CMAKE_BINARY_DIR}/package/${name} DESTINATION . COMPONENT kinaro)
endfunction()
kinaro_windows_text(${CMAKE_SOURCE_DIR}/resources/windows/README.txt README.txt)
kinaro_windows_text(${CMAKE_SOURCE_DIR}/LICENSE LICENSE.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME kinaro)
set(CPACK_PACKAGE_VENDOR Kinaro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Raster Metafile viewer and animator")
set(CPACK_PACKAGE_FILE_NAME kinaro-${PROJECT_VERSION}-win64)
set(CPACK_STRIP_FILES ON)
