# The release archive: `cmake --build --preset win32 --target package` writes
# korax24-<version>-win32.zip into the build tree (CPack); natively, korax24-<version>-linux-x86_64.tar.gz
# the same way. What goes in, and what never does:
#   korax24.dll (libkorax24.so), the tools     at the top
#   README.md (the archive's own), CHANGELOG.md, LICENSE, SHA256SUMS
#   docs/                                      the guides
#   simulator/                                 the port I/O library stand-in, with a README warning
# The shared memory manager stand-in (borlndmm) is never packaged: a host ships its own.

set(KORAX_PACKAGE_TOP ${CMAKE_BINARY_DIR}/package)

# The exports of the driver, listed in the archive's README as the .def file names them.
file(STRINGS ${CMAKE_SOURCE_DIR}/src/driver/korax24.def korax_def_lines REGEX "^  [A-Za-z]+ = ")
set(KORAX_EXPORT_LIST "")
foreach(line IN LISTS korax_def_lines)
  string(REGEX REPLACE "^  ([A-Za-z]+) = .*" "\\1" name "${line}")
  string(APPEND KORAX_EXPORT_LIST "- `${name}`\n")
endforeach()
list(LENGTH korax_def_lines KORAX_EXPORT_COUNT)
if(WIN32)
  set(KORAX_DRIVER_FILE korax24.dll)
  set(KORAX_HOST_PROGRAM korax-host.exe)
  set(KORAX_MANAGER_FILE borlndmm.dll)
  set(KORAX_SIMULATOR_FILE ControXIO.dll)
  set(KORAX_PACKAGE_SYSTEM win32)
  set(CPACK_GENERATOR ZIP)
  set(readme README.md.in)
else()
  # Natively from a build without sanitizers: cmake --build --preset native-release --target package.
  set(KORAX_DRIVER_FILE libkorax24.so)
  set(KORAX_HOST_PROGRAM ./korax-host)
  set(KORAX_MANAGER_FILE libborlndmm.so)
  set(KORAX_SIMULATOR_FILE libControXIO.so)
  set(KORAX_PACKAGE_SYSTEM linux-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_GENERATOR TGZ)
  set(readme README-linux.md.in)
endif()
configure_file(${CMAKE_SOURCE_DIR}/packaging/${readme} ${KORAX_PACKAGE_TOP}/README.md @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/simulator-README.md.in ${KORAX_PACKAGE_TOP}/simulator/README.md
  @ONLY)

install(FILES $<TARGET_FILE:korax24> DESTINATION .)
install(PROGRAMS $<TARGET_FILE:korax-host> $<TARGET_FILE:korax-pdb> DESTINATION .)
install(FILES ${KORAX_PACKAGE_TOP}/README.md ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_SOURCE_DIR}/LICENSE
  DESTINATION .)
file(GLOB korax_docs CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/docs/*.md ${CMAKE_SOURCE_DIR}/docs/*.png)
install(FILES ${korax_docs} DESTINATION docs)
install(FILES ${CMAKE_SOURCE_DIR}/include/korax24.h DESTINATION include)
install(FILES $<TARGET_FILE:ControXIO> DESTINATION simulator)
install(FILES ${KORAX_PACKAGE_TOP}/simulator/README.md DESTINATION simulator)

set(CPACK_PACKAGE_NAME korax24)
set(CPACK_PACKAGE_VENDOR korax24)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME korax24-${PROJECT_VERSION}-${KORAX_PACKAGE_SYSTEM})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR})
set(CPACK_SOURCE_GENERATOR "")
# After the files are staged: SHA256SUMS, and every file dated at the commit; after CPack packed them, the
# same packed again without what differs between builds.
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/PackageStage.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/PackageArchive.cmake)
set(CPACK_KORAX_SOURCE_DATE_EPOCH ${KORAX_SOURCE_DATE_EPOCH})
include(CPack)
