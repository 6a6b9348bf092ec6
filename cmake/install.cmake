# What `cmake --install` puts where, and the packages CPack makes of it: a
# Debian package on Linux, a zip from the Windows (mingw) build.
#
#   Linux:    bin/zchost, bin/slb; lib/zc/ the modules and the host library
#             (zchost finds them relative to itself); share/man/man1;
#             share/doc/vetrix-calden/ the README, the demo and the sample maker;
#             share/thumbnailers and share/mime/packages for file managers.
#   Windows:  zchost.exe, slb.exe and the three DLLs side by side, with a text
#             on running LISP scripts and on building for the CAD host.
if(WIN32)
  set(ZC_BIN_DIR .)
  set(ZC_MODULE_DIR .)
  set(ZC_DOC_DIR .)
else()
  set(ZC_BIN_DIR bin)
  set(ZC_MODULE_DIR lib/zc)
  set(ZC_DOC_DIR share/doc/vetrix-calden)
endif()

install(TARGETS zchost slb RUNTIME DESTINATION ${ZC_BIN_DIR})
install(TARGETS zcadhost vetrix calden
        RUNTIME DESTINATION ${ZC_MODULE_DIR}
        LIBRARY DESTINATION ${ZC_MODULE_DIR})
install(FILES README.md examples/demo.lsp examples/make_samples.py DESTINATION ${ZC_DOC_DIR})
if(WIN32)
  install(FILES docs/windows.txt DESTINATION . RENAME README-windows.txt)
else()
  install(FILES docs/zchost.1 docs/slb.1 DESTINATION share/man/man1)
  # File managers: slides are a type of their own, and slb draws their
  # thumbnails.
  install(FILES packaging/slb.thumbnailer DESTINATION share/thumbnailers)
  install(FILES packaging/vetrix-calden-mime.xml DESTINATION share/mime/packages
          RENAME vetrix-calden.xml)
endif()

set(CPACK_PACKAGE_NAME vetrix-calden)
set(CPACK_PACKAGE_VENDOR "vetrix-calden")
set(CPACK_PACKAGE_CONTACT "vetrix-calden maintainers <maintainers@vetrix-calden.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "CAD plug-in modules vetrix and calden, the zchost LISP runner and the slb tool")
set(CPACK_PACKAGE_DESCRIPTION
    "vetrix (file utilities, a slide-library editor, a dBASE table lookup) and calden (small LISP base functions) run in an emulated CAD host: zchost runs LISP scripts that call them, and slb lists, checks, edits and draws slide libraries.")
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
  # The C++ runtime is all it needs: let dpkg-shlibdeps say which.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The modules and the host library are private to zchost.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
endif()
include(CPack)
