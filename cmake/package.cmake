# What CPack makes of the install (cmake/install.cmake): a Debian package on Linux
# (veriprog_<version>_amd64.deb: libraries, headers, CMake and pkg-config files, the command line
# and its manual page), a zip on Windows (the command line, the DLL and its import library, the
# static library, headers, README and the licences of what the programs carry inside them).
set(CPACK_PACKAGE_NAME veriprog)
set(CPACK_PACKAGE_VENDOR veriprog)
set(CPACK_PACKAGE_CONTACT "veriprog developers <veriprog@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Checks and rebuilds the running totals of an Italian general-ledger database")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)  # the debugging information stays in the build folders
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME veriprog-${PROJECT_VERSION}-windows-x64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
  set(CPACK_DEBIAN_PACKAGE_SECTION misc)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libstdc++6, libgcc-s1, libpq5, libodbc2, libuuid1, libsqlite3-0")
endif()
include(CPack)
