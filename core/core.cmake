# The portable core at the bottom of the house: the format kinds, their
# texel rules and converters, the conversion tables, the track table with the
# slider-to-constant mapping and the RGB sync, and the binary16 helpers. No Windows header; the plug-in, the engine, the reference
# model, filterhost, the tests, the benchmarks and the fuzz targets all link
# this one library. Include from the top-level CMakeLists (paths from the
# source root).
add_library(kelvo_core STATIC
  ${CMAKE_SOURCE_DIR}/core/pixel_converters.cpp
  ${CMAKE_SOURCE_DIR}/core/pixel_converters_sse.cpp
  ${CMAKE_SOURCE_DIR}/core/format_kinds.cpp
  ${CMAKE_SOURCE_DIR}/core/texel_rules.cpp
  ${CMAKE_SOURCE_DIR}/core/conversion_tables.cpp
  ${CMAKE_SOURCE_DIR}/core/track_table.cpp
  ${CMAKE_SOURCE_DIR}/core/correction_constants.cpp
  ${CMAKE_SOURCE_DIR}/core/half_float.cpp
  ${CMAKE_SOURCE_DIR}/core/slider_sync.cpp)
target_include_directories(kelvo_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_features(kelvo_core PUBLIC cxx_std_17)

# Only the SSE converters may contain SSE code: the rest of the plug-in has
# to run on processors without it. Their entry points realign the stack
# themselves (the host may call with 4-byte alignment).
set_source_files_properties(${CMAKE_SOURCE_DIR}/core/pixel_converters_sse.cpp
  PROPERTIES COMPILE_OPTIONS "-msse;-mmmx")

# The binary16 helpers and the texel rules serve the reference model and the
# tests, never the plug-in. On 32-bit x86 their doubles must not go through
# the x87 unit: once a Direct3D device exists the x87 precision is cut to 24
# bits.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set_source_files_properties(${CMAKE_SOURCE_DIR}/core/half_float.cpp
    ${CMAKE_SOURCE_DIR}/core/texel_rules.cpp
    PROPERTIES COMPILE_OPTIONS "-msse2;-mfpmath=sse;-mstackrealign")
endif()

# The conversion tables are computed by the compiler: several million
# evaluation steps, past clang's default limit, and past GCC's in an
# unoptimised build (the sanitizer preset).
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set_source_files_properties(${CMAKE_SOURCE_DIR}/core/conversion_tables.cpp
    PROPERTIES COMPILE_OPTIONS "-fconstexpr-steps=100000000")
elseif(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set_source_files_properties(${CMAKE_SOURCE_DIR}/core/conversion_tables.cpp
    PROPERTIES COMPILE_OPTIONS "-fconstexpr-ops-limit=1000000000")
endif()
