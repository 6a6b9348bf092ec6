# add_zc_module(NAME SOURCES... LINK libs...): a plug-in module built around
# the shared frame, named NAME with the platform's suffix and no prefix, that
# imports the host operations from the host library.
function(add_zc_module name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name} MODULE ${PROJECT_SOURCE_DIR}/frame/entry.cc ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE zcframe zcadhost ${ARG_LINK})
  set_target_properties(${name} PROPERTIES PREFIX "")
  if(MSVC)
    # MSVC exports the extern "C" cdecl entry points without decoration.
  elseif(WIN32)
    # Exports without decoration: the entry points are cdecl, and --kill-at
    # removes any @N a calling convention would add.
    target_link_options(${name} PRIVATE -Wl,--kill-at)
  else()
    set_target_properties(${name} PROPERTIES BUILD_RPATH "$ORIGIN" INSTALL_RPATH "$ORIGIN")
    # Only the two entry points leave the module; the standard library's
    # template instances would otherwise be exported as weak symbols.
    if(NOT ZC_SANITIZE AND NOT ZC_BUILD_FUZZERS)
      # Sanitizer runtimes live in the executable, so only plain builds can
      # insist that a module resolves everything at link time.
      target_link_options(${name} PRIVATE -Wl,--no-undefined)
    endif()
    target_link_options(${name} PRIVATE -Wl,--version-script=${PROJECT_SOURCE_DIR}/frame/exports.map)
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${PROJECT_SOURCE_DIR}/frame/exports.map)
  endif()
endfunction()
