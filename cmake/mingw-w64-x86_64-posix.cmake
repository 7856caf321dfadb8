# Cross-build for 64-bit Windows; the tests run the built programs under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(FONTIS_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(FONTIS_WINE wine)
  if(FONTIS_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${FONTIS_WINE})
  endif()
endif()
