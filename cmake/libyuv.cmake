# libyuv's core library (conversion, scaling, rotation; no JPEG, no tools, no tests), compiled
# with our toolchain from the source folder that ./run fetches from Debian's source package.
# Included before our warning options: warnings as errors are for our own code only.
if(NOT EXISTS "${FONTIS_LIBYUV_SOURCE_DIR}/include/libyuv.h")
  message(FATAL_ERROR "FONTIS_LIBYUV_SOURCE_DIR must name libyuv's source folder; "
                      "'./run build' fetches it into the build folder")
endif()

file(GLOB FONTIS_LIBYUV_SOURCES "${FONTIS_LIBYUV_SOURCE_DIR}/source/*.cc")
list(FILTER FONTIS_LIBYUV_SOURCES EXCLUDE REGEX "jpeg")
add_library(yuv STATIC ${FONTIS_LIBYUV_SOURCES})
# SYSTEM: our code includes these headers under warnings as errors.
target_include_directories(yuv SYSTEM PUBLIC "${FONTIS_LIBYUV_SOURCE_DIR}/include")

# libyuv compiles its x86 SIMD rows only where the compiler may emit SSE; every 32-bit Windows
# that runs our clients has SSE2, and libyuv picks the rows at run time by the processor's features.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND NOT MSVC)
  target_compile_options(yuv PRIVATE -msse2)
endif()
