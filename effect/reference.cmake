# The CPU reference model of the effect, for tests and the development host;
# the plug-in does not link it.
# Include from the top-level CMakeLists (paths are relative to the source root).
add_library(effect_reference STATIC
  ${CMAKE_SOURCE_DIR}/effect/correction_reference.cpp)
target_include_directories(effect_reference PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_features(effect_reference PUBLIC cxx_std_17)
target_link_libraries(effect_reference PUBLIC kelvo_core)

# On 32-bit x86 the model's doubles must not go through the x87 unit: once a
# Direct3D device exists the x87 precision is cut to 24 bits, and the model
# would silently compute in single precision. SSE2 scalar arithmetic is not
# affected; realigning the stack keeps SSE spills safe when called from code
# that only guarantees 4-byte alignment.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(effect_reference PRIVATE -msse2 -mfpmath=sse -mstackrealign)
endif()
