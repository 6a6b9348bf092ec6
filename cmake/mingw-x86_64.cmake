# The 64-bit Windows build: the same sources, testable under 64-bit Wine.
set(ZC_MINGW_ARCH x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
