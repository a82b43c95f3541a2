# The parts of the development host that do not need Windows: picture files,
# colour conversion, video levels and YUV4MPEG2 streams, 3D LUT files, the
# test picture, the command line, progress text, the debug text and its
# statistics, and the comparison with the reference model. Both trees
# build it; include from the top-level CMakeLists after effect/reference.cmake.
set(KELVO_STB_INCLUDE_DIR /usr/include/stb CACHE PATH "Folder of stb_image.h (Debian libstb-dev)")
if(NOT EXISTS ${KELVO_STB_INCLUDE_DIR}/stb_image.h)
  message(FATAL_ERROR "No stb_image.h in ${KELVO_STB_INCLUDE_DIR}: run scripts/setup "
                      "(package libstb-dev)")
endif()

add_library(filterhost_portable STATIC
  ${CMAKE_SOURCE_DIR}/host/color_convert.cpp
  ${CMAKE_SOURCE_DIR}/host/cube_lut.cpp
  ${CMAKE_SOURCE_DIR}/host/frame_size.cpp
  ${CMAKE_SOURCE_DIR}/host/level_rows.cpp
  ${CMAKE_SOURCE_DIR}/host/options.cpp
  ${CMAKE_SOURCE_DIR}/host/picture_io.cpp
  ${CMAKE_SOURCE_DIR}/host/precision_report.cpp
  ${CMAKE_SOURCE_DIR}/host/run_progress.cpp
  ${CMAKE_SOURCE_DIR}/host/stage_summary.cpp
  ${CMAKE_SOURCE_DIR}/host/stb_impl.cpp
  ${CMAKE_SOURCE_DIR}/host/test_picture.cpp
  ${CMAKE_SOURCE_DIR}/host/usage_text.cpp
  ${CMAKE_SOURCE_DIR}/host/verify.cpp
  ${CMAKE_SOURCE_DIR}/host/video_levels.cpp
  ${CMAKE_SOURCE_DIR}/host/y4m_stream.cpp
)
target_include_directories(filterhost_portable PUBLIC
  ${CMAKE_SOURCE_DIR}/host
  ${CMAKE_SOURCE_DIR})
# Only the stb folder, never the whole system include folder: the cross
# compiler must not see the build machine's headers.
target_include_directories(filterhost_portable SYSTEM PRIVATE ${KELVO_STB_INCLUDE_DIR})
target_link_libraries(filterhost_portable PUBLIC effect_reference)
# The same arithmetic as the reference model on 32-bit x86 (see
# effect/reference.cmake): SSE2 doubles, unaffected by Direct3D's x87 setting.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(filterhost_portable PRIVATE -msse2 -mfpmath=sse -mstackrealign)
endif()
