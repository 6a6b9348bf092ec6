# Read by cpack for each package it makes. The Debian package's Depends
# line comes from dpkg-shlibdeps run here on the programs and libraries,
# the private ones in lib/zc resolved from the build's bin folder.
if(CPACK_GENERATOR STREQUAL "DEB")
  find_program(DPKG_SHLIBDEPS dpkg-shlibdeps REQUIRED)
  set(work "${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/shlibdeps")
  file(REMOVE_RECURSE "${work}")
  file(MAKE_DIRECTORY "${work}/debian")
  file(WRITE "${work}/debian/control" "")
  set(files)
  foreach(name IN LISTS CPACK_ZC_BINARIES)
    list(APPEND files "${CPACK_ZC_BINARY_DIR}/${name}")
  endforeach()
  execute_process(
    COMMAND "${DPKG_SHLIBDEPS}" -O "-l${CPACK_ZC_BINARY_DIR}" ${files}
    WORKING_DIRECTORY "${work}"
    OUTPUT_VARIABLE found
    ERROR_VARIABLE said
    RESULT_VARIABLE failed)
  if(failed OR NOT found MATCHES "shlibs:Depends=")
    message(FATAL_ERROR "dpkg-shlibdeps found no dependencies: ${found}${said}")
  endif()
  string(REGEX REPLACE "^.*shlibs:Depends=" "" found "${found}")
  string(STRIP "${found}" CPACK_DEBIAN_PACKAGE_DEPENDS)
endif()
# slb make draws the text of drawings in a Hershey stroke font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hershey-fonts-data, fonts-wqy-microhei | fonts-noto-cjk")
