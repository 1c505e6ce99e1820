# Cross-compiling for 32-bit Windows with MinGW-w64 (POSIX threads, linked statically).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
# Installed beside korrin's CMake package (lib/cmake/korrin), the file also
# searches the install tree it came with, so that find_package(korrin) finds
# that tree with no further argument.
if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/korrinConfig.cmake")
  get_filename_component(_korrin_install_root "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
  list(APPEND CMAKE_FIND_ROOT_PATH "${_korrin_install_root}")
  unset(_korrin_install_root)
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
