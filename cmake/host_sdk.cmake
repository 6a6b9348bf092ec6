# The production build: vetrix.dll and calden.dll against the CAD host's SDK
# in ZC_HOST_SDK_DIR, with the SDK's compiler (MSVC) for the 32-bit host.
# Nothing else is built: the emulated host, zchost, slb and the tests need
# the host library this build replaces. The project's own builds have no SDK
# and no MSVC, so this file is not exercised by them (the host-sdk preset and
# docs/build-for-host.txt say how it is run).
if(NOT MSVC OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
  message(FATAL_ERROR "The modules for the CAD host are built with MSVC for 32-bit Windows "
                      "(a Visual Studio generator with -A Win32, or the x86 tools prompt)")
endif()
set(ZC_HOST_SDK_INCLUDE_DIR "${ZC_HOST_SDK_DIR}/inc" CACHE PATH
    "The SDK's include folder (it holds zrxHeaders.h)")
set(ZC_HOST_SDK_LIBRARIES "" CACHE STRING
    "The SDK's import libraries; empty: every .lib in the SDK's lib folder")
if(NOT EXISTS "${ZC_HOST_SDK_INCLUDE_DIR}/zrxHeaders.h")
  message(FATAL_ERROR "zrxHeaders.h is not in ${ZC_HOST_SDK_INCLUDE_DIR}: "
                      "set ZC_HOST_SDK_INCLUDE_DIR to the SDK's include folder")
endif()
set(sdk_libraries ${ZC_HOST_SDK_LIBRARIES})
if(NOT sdk_libraries)
  file(GLOB sdk_libraries "${ZC_HOST_SDK_DIR}/lib/*.lib")
endif()
if(NOT sdk_libraries)
  message(FATAL_ERROR "No import libraries in ${ZC_HOST_SDK_DIR}/lib: "
                      "name them in ZC_HOST_SDK_LIBRARIES")
endif()

# Sources are UTF-8; the modules' text to the host is UTF-16 (char16_t).
add_compile_options(/W4 /utf-8 /permissive- /EHsc)
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601 UNICODE _UNICODE NOMINMAX)
# The runtime goes inside the DLLs, as in the zip's build: nothing to
# install beside them.
set(CMAKE_MSVC_RUNTIME_LIBRARY "MultiThreaded$<$<CONFIG:Debug>:Debug>")

include(cmake/modules.cmake)
add_subdirectory(frame)
add_subdirectory(platform)
# What the modules link as the host: the SDK. frame/host_interface.h takes
# frame/host_sdk.h when ZC_HOST_SDK is defined.
add_library(zcadhost INTERFACE)
target_compile_definitions(zcadhost INTERFACE ZC_HOST_SDK)
target_include_directories(zcadhost INTERFACE "${ZC_HOST_SDK_INCLUDE_DIR}")
target_link_libraries(zcadhost INTERFACE ${sdk_libraries})
add_subdirectory(vetrix)
add_subdirectory(calden)
