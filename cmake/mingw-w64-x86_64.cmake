# Cross-compiles Kinaro for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# The result, kinaro.exe, is linked statically: it needs no DLL beyond those Windows ships
# (kernel32, user32, gdi32, comdlg32, winmm and the system C runtime msvcrt).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KINARO_MINGW_TRIPLE x86_64-w64-mingw32)
# The win32 thread variant: the viewer has one thread, so it needs no winpthread. Should
# threads ever be needed, switch to the -posix compilers (and keep -static).
set(CMAKE_C_COMPILER ${KINARO_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KINARO_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${KINARO_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KINARO_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# -static takes libgcc, libstdc++ and the MinGW runtime into the executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
