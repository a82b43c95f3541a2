# The pixel converters, the format kinds' table and the choice of threads for
# the converters, for the plug-in and for the native tests and
# benchmarks. Include from the top-level CMakeLists (paths from the source
# root).
set(kelvo_converter_sources
  ${CMAKE_SOURCE_DIR}/engine/pixel_converters.cpp
  ${CMAKE_SOURCE_DIR}/engine/pixel_converters_sse.cpp
  ${CMAKE_SOURCE_DIR}/engine/format_kinds.cpp
  ${CMAKE_SOURCE_DIR}/engine/conversion_tables.cpp)

add_library(kelvo_converters STATIC ${kelvo_converter_sources})
target_include_directories(kelvo_converters PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_features(kelvo_converters PUBLIC cxx_std_17)

# Whether a converter call goes in row bands, from the calls' times: plain
# logic, so that its tests and the replay of recorded calls run natively.
add_library(kelvo_band_choice STATIC ${CMAKE_SOURCE_DIR}/engine/band_choice.cpp)
target_include_directories(kelvo_band_choice PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_features(kelvo_band_choice PUBLIC cxx_std_17)

# Only the SSE converters may contain SSE code: the rest of the plug-in has
# to run on processors without it. Their entry points realign the stack
# themselves (the host may call with 4-byte alignment).
set_source_files_properties(${CMAKE_SOURCE_DIR}/engine/pixel_converters_sse.cpp
  PROPERTIES COMPILE_OPTIONS "-msse;-mmmx")

# The conversion tables are computed by the compiler: several million
# evaluation steps, past clang's default limit, and past GCC's in an
# unoptimised build (the sanitizer preset).
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  set_source_files_properties(${CMAKE_SOURCE_DIR}/engine/conversion_tables.cpp
    PROPERTIES COMPILE_OPTIONS "-fconstexpr-steps=100000000")
elseif(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set_source_files_properties(${CMAKE_SOURCE_DIR}/engine/conversion_tables.cpp
    PROPERTIES COMPILE_OPTIONS "-fconstexpr-ops-limit=1000000000")
endif()
