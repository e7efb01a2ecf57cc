# Install layout and the .deb and .tar.gz packages, for the architecture being
# built (amd64, or i386 with the i386 toolchain file):
#   cmake --build build --target package
include(GNUInstallDirs)

install(TARGETS dashvane-launcher dashvane-launcher-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Manual pages and the changelog are shipped compressed, as Debian expects;
# -n leaves the name and time out, so the same sources give the same bytes.
set(DVL_PACKED_DOCS)
foreach(doc docs/dashvane-launcher.1 docs/dashvane-launcher-check.1 packaging/changelog)
  get_filename_component(name ${doc} NAME)
  set(packed ${PROJECT_BINARY_DIR}/packed/${name}.gz)
  add_custom_command(OUTPUT ${packed}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/packed
                     COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/${doc} > ${packed}
                     DEPENDS ${PROJECT_SOURCE_DIR}/${doc} VERBATIM)
  list(APPEND DVL_PACKED_DOCS ${packed})
endforeach()
add_custom_target(packed-docs ALL DEPENDS ${DVL_PACKED_DOCS})
install(FILES ${PROJECT_BINARY_DIR}/packed/dashvane-launcher.1.gz
              ${PROJECT_BINARY_DIR}/packed/dashvane-launcher-check.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md packaging/copyright ${PROJECT_BINARY_DIR}/packed/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(DVL_STATIC)
  install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
          RENAME dashvane-launcher)
endif()
# Where Debian's bash-completion looks for completions loaded on demand.
install(FILES completion/dashvane-launcher-check
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(DVL_DEB_ARCH i386)
else()
  set(DVL_DEB_ARCH amd64)
endif()

set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME dashvane-launcher)
set(CPACK_PACKAGE_VENDOR "dashvane-launcher developers")
set(CPACK_PACKAGE_CONTACT "dashvane-launcher developers <dev@dashvane-launcher.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Launcher for Dashvane applications")
# Lines of the extended description stay within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
    "Started from an application directory, it reads the ini file named after
itself and starts the installation's Dashvane executable with the
application's arguments.")
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-linux-${DVL_DEB_ARCH}")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
# Users get the programs stripped; the build folder keeps the symbols.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${DVL_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(NOT DVL_STATIC)
  # A shared build depends on the libraries it was linked against.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

include(CPack)
