# Cross-build for 64-bit Windows with mingw-w64's posix thread model compilers.
# Everything links statically so the programs run under Wine without runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FONTIS_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${FONTIS_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FONTIS_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${FONTIS_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FONTIS_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run the built programs under Wine.
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(FONTIS_WINE wine)
  if(FONTIS_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${FONTIS_WINE})
  endif()
endif()
