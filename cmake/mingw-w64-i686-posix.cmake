# Cross-build for 32-bit Windows: the client-side code that 32-bit applications load. Wine here
# runs 64-bit programs only, so nothing built with this file is run.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(FONTIS_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-posix.cmake)
