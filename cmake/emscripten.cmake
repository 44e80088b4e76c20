# Builds Kinaro for the web with Debian's Emscripten (package emscripten).
#   cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE=cmake/emscripten.cmake
#   cmake --build build-web -j2 --target kinaro_web     # the page in build-web/web/
# The viewer runs on the main thread of the page with C++ exceptions; Asyncify lets it wait
# for events and file blocks, as the desktop viewer does in its own loop.
include(/usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake)

# Debian's Emscripten runs its JavaScript optimiser with the Node modules Debian installs
# (acorn and the rest), which are not on Node's default path.
set(KINARO_EMSCRIPTEN_NODE_PATH /usr/share/nodejs)
set(ENV{NODE_PATH} ${KINARO_EMSCRIPTEN_NODE_PATH})
set(CMAKE_CXX_LINKER_LAUNCHER env NODE_PATH=${KINARO_EMSCRIPTEN_NODE_PATH})
set(CMAKE_C_LINKER_LAUNCHER env NODE_PATH=${KINARO_EMSCRIPTEN_NODE_PATH})

# Node 20's own fetch would be taken for a browser's by the generated script.
find_program(KINARO_NODE NAMES node nodejs REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${KINARO_NODE};--no-experimental-fetch
    CACHE STRING "Runs the Emscripten output under Node" FORCE)

# The page is made small and fast unless another build type is asked for.
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "The build type")
endif()

set(CMAKE_C_FLAGS_INIT "-fexceptions")
set(CMAKE_CXX_FLAGS_INIT "-fexceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fexceptions -sASYNCIFY")
