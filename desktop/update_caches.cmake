# Run at the end of the install. A staged install (DESTDIR set) is packed and spread by a
# package manager, whose triggers refresh the system's caches: nothing to do then.
if(NOT "$ENV{DESTDIR}" STREQUAL "")
  return()
endif()
if(IS_ABSOLUTE "${KINARO_DATADIR}")
  set(share "${KINARO_DATADIR}")
else()
  set(share "${CMAKE_INSTALL_PREFIX}/${KINARO_DATADIR}")
endif()
# Each cache is written inside the folder it describes, so nothing lands outside the prefix.
foreach(command
    "update-mime-database|${share}/mime"
    "update-desktop-database|-q|${share}/applications"
    "gtk-update-icon-cache|-q|-t|-f|${share}/icons/hicolor")
  string(REPLACE "|" ";" command "${command}")
  list(POP_FRONT command tool)
  find_program(path NAMES ${tool} NO_CACHE)
  if(path)
    message(STATUS "Refreshing: ${tool} ${command}")
    execute_process(COMMAND ${path} ${command} OUTPUT_QUIET)
  endif()
  unset(path)
endforeach()
