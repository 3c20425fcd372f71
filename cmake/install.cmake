# What `cmake --install` lays under a prefix: both libraries, the public headers (include/veriprog/
# alone), a CMake package (find_package(veriprog): veriprog::veriprog shared,
# veriprog::veriprog_static), a pkg-config file (veriprog.pc) and the command line.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS veriprog veriprog_shared EXPORT veriprogTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS veriprog-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/veriprog DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/veriprog)
install(EXPORT veriprogTargets NAMESPACE veriprog:: DESTINATION ${config_dir})
configure_package_config_file(cmake/veriprogConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/veriprogConfig.cmake INSTALL_DESTINATION ${config_dir})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/veriprogConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/veriprogConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/veriprogConfigVersion.cmake DESTINATION ${config_dir})

configure_file(cmake/veriprog.pc.in ${CMAKE_CURRENT_BINARY_DIR}/veriprog.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/veriprog.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
