# Shared part of the mingw-w64 toolchain files: the posix thread model compilers of the
# architecture that the including file names in FONTIS_MINGW_PREFIX and CMAKE_SYSTEM_PROCESSOR.
# Everything links statically so the programs run without the compiler's runtime DLLs.
set(CMAKE_SYSTEM_NAME Windows)

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
