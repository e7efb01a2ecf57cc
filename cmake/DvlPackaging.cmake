# Install layout and the binary .tar.gz, for the architecture being built
# (amd64, or i386 with the i386 toolchain file):
#   cmake --build build --target package
# The .deb comes from debian/ and the RPM from packaging/dashvane-launcher.rpm-recipe
# (scripts/package.sh builds both); they install through the same rules but
# ship the documents their own way, with DVL_INSTALL_DOCS off.
include(GNUInstallDirs)
option(DVL_INSTALL_DOCS "Install the README, copyright, changelog and licence texts" ON)

install(TARGETS dashvane-launcher dashvane-launcher-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Manual pages and the changelog are shipped compressed, as Debian expects;
# -n leaves the name and time out, so the same sources give the same bytes.
set(DVL_PACKED_DOCS)
foreach(doc docs/dashvane-launcher.1 docs/dashvane-launcher-check.1 debian/changelog)
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
if(DVL_INSTALL_DOCS)
  # The static programs carry glibc, libstdc++ and Boost: their licence texts
  # travel with them, as the copyright file says.
  install(FILES README.md LICENSE debian/copyright ${PROJECT_BINARY_DIR}/packed/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  install(DIRECTORY packaging/licenses DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
# Where Debian's bash-completion looks for completions loaded on demand.
install(FILES completion/dashvane-launcher-check
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(DVL_DEB_ARCH i386)
else()
  set(DVL_DEB_ARCH amd64)
endif()

set(CPACK_GENERATOR TGZ)
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

# The source tarball is made by scripts/package.sh with git archive; a source
# package made by cpack leaves out at least what a build and packaging create.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build[^/]*/" "/obj-[^/]*/" "/dist/" "/debian/\\.debhelper/")

include(CPack)
