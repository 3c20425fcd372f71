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

# The documents: the README everywhere; on Windows, where the programs carry the compiler's
# runtime, CLI11 and nlohmann-json inside them, the licences of those; on Linux the manual page.
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(WIN32)
  foreach(part gcc-mingw-w64-base mingw-w64-x86-64-dev libcli11-dev nlohmann-json3-dev)
    if(EXISTS /usr/share/doc/${part}/copyright)
      install(FILES /usr/share/doc/${part}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR}/licences
        RENAME ${part}.txt)
    endif()
  endforeach()
else()
  set(man_page ${CMAKE_CURRENT_BINARY_DIR}/veriprog-cli.1)
  add_custom_command(OUTPUT ${man_page}
    COMMAND ${CMAKE_COMMAND} -DCLI=$<TARGET_FILE:veriprog-cli> -DVERSION=${PROJECT_VERSION}
            -DOUT=${man_page} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/man_page.cmake
    DEPENDS veriprog-cli ${CMAKE_CURRENT_SOURCE_DIR}/cmake/man_page.cmake
    COMMENT "Writing the manual page of veriprog-cli" VERBATIM)
  add_custom_target(veriprog_man_page ALL DEPENDS ${man_page})
  install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
