# The install tree, the CMake package and the zip that CPack makes of them:
#   bin/korrin.dll
#   lib/libkorrin.dll.a, lib/korrin.def (the
#   export table), lib/korrin-import.def (the stdcall names, Name@N, for
#   making an MSVC import library with lib /def)
#   lib/cmake/korrin/korrinConfig.cmake, korrinConfigVersion.cmake and the
#   cross toolchain file i686-w64-mingw32.cmake (a consumer configured with
#   it finds the package in this tree)
#   include/korrin.h
#   README.md, LICENSE, docs/ (the command reference and the pictures),
#   examples/ (C sources), licenses/ (the statically linked libraries' terms)
include(CMakePackageConfigHelpers)
set(KORRIN_VERSION 1.0.0)

install(FILES $<TARGET_FILE:korrin> DESTINATION bin)
# The import library with stdcall-decorated symbols (see CMakeLists.txt),
# not the linker's own, whose undecorated names C callers would not find.
install(FILES ${KORRIN_IMPORT_LIB} DESTINATION lib RENAME libkorrin.dll.a)
install(FILES ${CMAKE_BINARY_DIR}/korrin-import.def DESTINATION lib)
install(FILES ${CMAKE_SOURCE_DIR}/korrin.def DESTINATION lib)
install(FILES ${CMAKE_SOURCE_DIR}/include/korrin.h DESTINATION include)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION .)
file(GLOB KORRIN_DOC_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md ${CMAKE_SOURCE_DIR}/docs/*.png)
install(FILES ${KORRIN_DOC_FILES} DESTINATION docs)
file(GLOB KORRIN_EXAMPLE_FILES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/*.c ${CMAKE_SOURCE_DIR}/examples/*.h)
install(FILES ${KORRIN_EXAMPLE_FILES} DESTINATION examples)

# The DLL carries libpng, libjpeg-turbo, libtiff, zlib, libogg and libvorbis:
# their terms travel with it, taken from the sources they were built from in
# the dependency cache (scripts/build-deps.sh unpacks them into its src/).
set(KORRIN_DEPS_SOURCE_DIR "${KORRIN_DEPS_DIR}/src")
set(KORRIN_LICENCE_FILES
  "libpng.txt|libpng1.6/libpng1.6-*/LICENSE"
  "libjpeg-turbo.md|libjpeg-turbo/libjpeg-turbo-*/LICENSE.md"
  "libjpeg-turbo-ijg.txt|libjpeg-turbo/libjpeg-turbo-*/README.ijg"
  "libtiff.md|tiff/tiff-*/LICENSE.md"
  "libogg.txt|libogg/libogg-*/COPYING"
  "libvorbis.txt|libvorbis/libvorbis-*/COPYING")
foreach(entry IN LISTS KORRIN_LICENCE_FILES)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 name)
  list(GET entry 1 pattern)
  file(GLOB found "${KORRIN_DEPS_SOURCE_DIR}/${pattern}")
  if(found)
    list(GET found 0 found)
    install(FILES ${found} DESTINATION licenses RENAME ${name})
  else()
    message(WARNING "licence file ${pattern} not found under ${KORRIN_DEPS_SOURCE_DIR}")
  endif()
endforeach()
if(EXISTS /usr/share/doc/libz-mingw-w64-dev/copyright)
  install(FILES /usr/share/doc/libz-mingw-w64-dev/copyright DESTINATION licenses RENAME zlib.txt)
endif()

configure_file(${CMAKE_SOURCE_DIR}/cmake/korrinConfig.cmake.in ${CMAKE_BINARY_DIR}/package/korrinConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/korrinConfigVersion.cmake
  VERSION ${KORRIN_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/korrinConfig.cmake ${CMAKE_BINARY_DIR}/package/korrinConfigVersion.cmake
  ${CMAKE_SOURCE_DIR}/cmake/i686-w64-mingw32.cmake DESTINATION lib/cmake/korrin)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME korrin)
set(CPACK_PACKAGE_VENDOR "the korrin developers")
set(CPACK_PACKAGE_VERSION ${KORRIN_VERSION})
set(CPACK_SYSTEM_NAME win32)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "korrin: a games library for 32-bit Windows programs")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
