# What `cmake --install` puts where, and the packages CPack makes from it:
# a .deb on Linux, a .zip of the Windows build.
include(GNUInstallDirs)
install(TARGETS plugin_veltrane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# CMAKE_INSTALL_DOCDIR is share/doc/plugin_veltrane.
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_PACKAGE_VENDOR "The plugin_veltrane authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Thought chains: an MCP tool server with a durable store and a web viewer")
set(CPACK_PACKAGE_CONTACT "The plugin_veltrane authors")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${CMAKE_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME windows-x86_64)
else()
  set(CPACK_GENERATOR DEB)
  # Debian package names take no underscores.
  set(CPACK_DEBIAN_PACKAGE_NAME plugin-veltrane)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The C and C++ runtime versions the binary needs, found by dpkg-shlibdeps.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
include(CPack)
