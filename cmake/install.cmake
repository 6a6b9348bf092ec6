# What `cmake --install` puts where, and the packages CPack makes of it: a
# Debian package on Linux, a zip from the Windows (mingw) build.
#
#   Linux:    bin/zchost, bin/slb; lib/zc/ the modules and the host library
#             (zchost finds them relative to itself); share/man/man1;
#             share/doc/vetrix-calden/ the README, examples/ the demo and the
#             sample maker;
#             share/thumbnailers and share/mime/packages for file managers;
#             share/bash-completion/completions for bash.
#   Windows:  zchost.exe, slb.exe and the three DLLs side by side, with a text
#             on running LISP scripts (first line: what the zip is), the
#             sources as a zip of their own and the steps to build the modules
#             for the CAD host from them; the texts with CR LF line ends.
if(WIN32)
  set(ZC_BIN_DIR .)
  set(ZC_MODULE_DIR .)
  set(ZC_DOC_DIR .)
  set(ZC_EXAMPLES_DIR .)
else()
  include(GNUInstallDirs)
  set(ZC_BIN_DIR ${CMAKE_INSTALL_BINDIR})
  # Where zchost looks for its modules, relative to its own folder (the
  # host library's moduleDirectory and zchost's RUNPATH say the same).
  set(ZC_MODULE_DIR lib/zc)
  set(ZC_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/vetrix-calden)
  set(ZC_EXAMPLES_DIR ${ZC_DOC_DIR}/examples)
endif()

install(TARGETS zchost slb RUNTIME DESTINATION ${ZC_BIN_DIR})
install(TARGETS zcadhost vetrix calden
        RUNTIME DESTINATION ${ZC_MODULE_DIR}
        LIBRARY DESTINATION ${ZC_MODULE_DIR})
install(FILES README.md DESTINATION ${ZC_DOC_DIR})
install(FILES examples/demo.lsp examples/make_samples.py DESTINATION ${ZC_EXAMPLES_DIR})
if(WIN32)
  foreach(text windows:README-windows build-for-host:BUILD-FOR-HOST)
    string(REPLACE ":" ";" text ${text})
    list(GET text 0 source)
    list(GET text 1 name)
    configure_file(docs/${source}.txt ${CMAKE_BINARY_DIR}/${name}.txt @ONLY NEWLINE_STYLE CRLF)
    install(FILES ${CMAKE_BINARY_DIR}/${name}.txt DESTINATION .)
  endforeach()
  install(FILES LICENSE DESTINATION .)
  # The sources of what the zip holds: the commit built, with the changes
  # to its files when the tree has them (untracked files are not included).
  find_package(Git REQUIRED)
  set(ZC_SOURCE_ARCHIVE vetrix-calden-${PROJECT_VERSION}-source)
  add_custom_target(source_archive ALL
    COMMAND ${CMAKE_COMMAND} -DGIT=${GIT_EXECUTABLE} -DSOURCE=${PROJECT_SOURCE_DIR}
            -DNAME=${ZC_SOURCE_ARCHIVE} -DOUTPUT=${CMAKE_BINARY_DIR}/${ZC_SOURCE_ARCHIVE}.zip
            -P ${PROJECT_SOURCE_DIR}/cmake/source_archive.cmake
    BYPRODUCTS ${CMAKE_BINARY_DIR}/${ZC_SOURCE_ARCHIVE}.zip
    COMMENT "Archiving the sources"
    VERBATIM)
  install(FILES ${CMAKE_BINARY_DIR}/${ZC_SOURCE_ARCHIVE}.zip DESTINATION .)
else()
  # Manual pages and the changelog go compressed, as Debian has them; the
  # copyright file says the licence in Debian's machine-readable form.
  find_program(GZIP_PROGRAM gzip REQUIRED)
  set(compressed)
  foreach(source docs/zchost.1 docs/slb.1 packaging/changelog)
    get_filename_component(name ${source} NAME)
    set(copy ${CMAKE_BINARY_DIR}/compressed/${name})
    add_custom_command(
      OUTPUT ${copy}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${source} ${copy}
      COMMAND ${GZIP_PROGRAM} -9nf ${copy}
      DEPENDS ${PROJECT_SOURCE_DIR}/${source}
      VERBATIM)
    list(APPEND compressed ${copy}.gz)
  endforeach()
  add_custom_target(compressed_docs ALL DEPENDS ${compressed})
  install(FILES ${CMAKE_BINARY_DIR}/compressed/zchost.1.gz ${CMAKE_BINARY_DIR}/compressed/slb.1.gz
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${CMAKE_BINARY_DIR}/compressed/changelog.gz packaging/copyright
          DESTINATION ${ZC_DOC_DIR})
  # File managers: slides are a type of their own, and slb draws their
  # thumbnails.
  install(FILES packaging/slb.thumbnailer DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/thumbnailers)
  install(FILES packaging/vetrix-calden-mime.xml
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/mime/packages RENAME vetrix-calden.xml)
  # bash completes the commands, options and files of slb and zchost.
  install(FILES packaging/completions/slb packaging/completions/zchost
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions)
endif()

set(CPACK_PACKAGE_NAME vetrix-calden)
set(CPACK_PACKAGE_VENDOR "vetrix-calden")
set(CPACK_PACKAGE_CONTACT "vetrix-calden maintainers <maintainers@vetrix-calden.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "CAD plug-in modules vetrix and calden, the zchost LISP runner and the slb tool")
set(CPACK_PACKAGE_DESCRIPTION
    "vetrix (file utilities, a slide-library editor, a dBASE table lookup) and
calden (small LISP base functions) run in an emulated CAD host: zchost runs
LISP scripts that call them, and slb lists, checks, edits and draws slide
libraries.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The summary is the synopsis; the description, in lines within 80
  # characters, the text below it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
  # dpkg-shlibdeps says what the package depends on, run by
  # packaging/cpack_project.cmake: CPack's own run of it would also give the
  # package scripts that call ldconfig for the private libraries in lib/zc.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_ZC_BINARY_DIR ${CMAKE_BINARY_DIR}/bin)
  set(CPACK_ZC_BINARIES zchost slb libzcadhost.so vetrix.so calden.so)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack_project.cmake)
endif()
include(CPack)
