# The 32-bit Windows build: the modules' real target.
set(ZC_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
