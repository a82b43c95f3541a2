# The parts of the development host that do not need Windows: picture files,
# colour conversion, video levels and YUV4MPEG2 streams, 3D LUT files, the
# test picture, the command line, progress text, the debug text and its
# statistics, and the comparison with the reference model. Both trees
# build it; include from the top-level CMakeLists after effect/reference.cmake.
# stb's folder as its package gives it to pkg-config (the build machine's
# pkg-config, in both trees: the headers are plain source).
find_package(PkgConfig REQUIRED)
pkg_get_variable(stb_pc_folder stb includedir)
set(KELVO_STB_INCLUDE_DIR "${stb_pc_folder}" CACHE PATH "Folder of stb_image.h (Debian libstb-dev)")
if(NOT EXISTS "${KELVO_STB_INCLUDE_DIR}/stb_image.h")
  message(FATAL_ERROR "No stb_image.h in '${KELVO_STB_INCLUDE_DIR}': run scripts/setup "
                      "(package libstb-dev)")
endif()

add_library(filterhost_portable STATIC
  ${CMAKE_SOURCE_DIR}/host/command_line/file_names.cpp
  ${CMAKE_SOURCE_DIR}/host/command_line/option_table.cpp
  ${CMAKE_SOURCE_DIR}/host/command_line/options.cpp
  ${CMAKE_SOURCE_DIR}/host/command_line/usage_text.cpp
  ${CMAKE_SOURCE_DIR}/host/command_line/video_recipe.cpp
  ${CMAKE_SOURCE_DIR}/host/pictures/color_convert.cpp
  ${CMAKE_SOURCE_DIR}/host/pictures/frame_size.cpp
  ${CMAKE_SOURCE_DIR}/host/pictures/pending_file.cpp
  ${CMAKE_SOURCE_DIR}/host/pictures/picture_io.cpp
  ${CMAKE_SOURCE_DIR}/host/run_ledger.cpp
  ${CMAKE_SOURCE_DIR}/host/wine_names.cpp
  ${CMAKE_SOURCE_DIR}/host/pictures/stb_impl.cpp
  ${CMAKE_SOURCE_DIR}/host/pictures/test_picture.cpp
  ${CMAKE_SOURCE_DIR}/host/reports/cube_lut.cpp
  ${CMAKE_SOURCE_DIR}/host/reports/precision_report.cpp
  ${CMAKE_SOURCE_DIR}/host/reports/run_progress.cpp
  ${CMAKE_SOURCE_DIR}/host/reports/stage_summary.cpp
  ${CMAKE_SOURCE_DIR}/host/reports/verify.cpp
  ${CMAKE_SOURCE_DIR}/host/video/level_rows.cpp
  ${CMAKE_SOURCE_DIR}/host/video/video_levels.cpp
  ${CMAKE_SOURCE_DIR}/host/video/y4m_stream.cpp
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
