# Installation and the Debian package. `cmake --install <build> [--prefix P]` puts
#   delvorin, delvorin-cli           P/bin/
#   DvApply.exe                      P/lib/delvorin/
#   the Windows DvApply.exe          P/lib/delvorin/windows/ (when cross-built: cmake/WindowsProgram.cmake)
#   the help book                    P/share/delvorin/help/
#   desktop entry, icon, metainfo    P/share/applications/, P/share/icons/hicolor/, P/share/metainfo/
#   man pages, bash completion       P/share/man/man1/, P/share/bash-completion/completions/
#   copyright, changelog             P/share/doc/delvorin/
#   lintian overrides                P/share/lintian/overrides/delvorin
# The programs find DvApply.exe and the help book from their own folder (../lib/delvorin,
# ../share/delvorin), so these folder names are fixed and a prefix can be moved.
set(DELVORIN_APP_ID com.quenmark.delvorin)
set(DELVORIN_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)

install(TARGETS delvorin-cli RUNTIME DESTINATION bin)
if(TARGET delvorin)
  install(TARGETS delvorin RUNTIME DESTINATION bin)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/help/ DESTINATION share/delvorin/help)
  install(FILES ${DELVORIN_PACKAGING}/${DELVORIN_APP_ID}.desktop DESTINATION share/applications)
  install(FILES ${DELVORIN_PACKAGING}/${DELVORIN_APP_ID}.metainfo.xml DESTINATION share/metainfo)
  foreach(size 48 128 256)
    install(FILES ${CMAKE_SOURCE_DIR}/res/icons/${size}/delvorin.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ${DELVORIN_APP_ID}.png)
  endforeach()
  install(FILES ${CMAKE_SOURCE_DIR}/res/icons/delvorin.svg
          DESTINATION share/icons/hicolor/scalable/apps RENAME ${DELVORIN_APP_ID}.svg)
endif()
if(TARGET DvApply)
  install(TARGETS DvApply RUNTIME DESTINATION lib/delvorin)
  # It carries its own zlib, which lintian would otherwise report.
  install(FILES ${DELVORIN_PACKAGING}/lintian-overrides DESTINATION share/lintian/overrides RENAME delvorin)
endif()
install(FILES ${DELVORIN_PACKAGING}/delvorin-cli.bash-completion
        DESTINATION share/bash-completion/completions RENAME delvorin-cli)
install(FILES ${DELVORIN_PACKAGING}/copyright DESTINATION share/doc/delvorin)

# Man pages and the changelog are installed compressed, as Debian keeps them.
set(DELVORIN_COMPRESSED)
foreach(doc man/delvorin.1 man/delvorin-cli.1 changelog)
  get_filename_component(name ${doc} NAME)
  set(out ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND gzip -9nc ${DELVORIN_PACKAGING}/${doc} > ${out}
    DEPENDS ${DELVORIN_PACKAGING}/${doc}
    COMMENT "Compressing ${name}")
  list(APPEND DELVORIN_COMPRESSED ${out})
endforeach()
add_custom_target(delvorin_compressed_docs ALL DEPENDS ${DELVORIN_COMPRESSED})
install(FILES ${CMAKE_BINARY_DIR}/packaging/delvorin-cli.1.gz DESTINATION share/man/man1)
if(TARGET delvorin)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/delvorin.1.gz DESTINATION share/man/man1)
endif()
install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION share/doc/delvorin)

# The Debian package: `cpack -G DEB` in the build folder (scripts/build_deb.sh builds
# and checks it). Its dependencies are read from the binaries.
set(DELVORIN_MAINTAINER "Quenmark <packages@quenmark.example>" CACHE STRING "Maintainer of the Debian package")
set(CPACK_PACKAGE_NAME delvorin)
set(CPACK_PACKAGE_VENDOR Quenmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "build and apply binary patches for whole folder trees")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${DELVORIN_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION "Delvorin builds one compact patch file from an old and a new version of a
folder tree: every changed file is described by the byte ranges it shares
with its old version and the bytes that are new. A patch can be split into
parts of a chosen size, or wrapped into a self-extracting patch program that
end users run without Delvorin.

Applying a patch checks every file first and changes nothing when anything
does not match. The package holds the graphical program (a Wizard and an
Expert mode), the command-line program delvorin-cli for scripted releases,
and the apply program carried by self-extracting patches.")
include(CPack)
