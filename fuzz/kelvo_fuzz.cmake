# Pulled in right after project() by the "fuzz" configure preset
# (CMAKE_PROJECT_kelvo_INCLUDE): adds the fuzz targets to the ordinary native
# tree. They link the converter and effect compiler libraries, which the rest
# of the top-level file defines; CMake resolves those names when it
# generates.
add_subdirectory(${CMAKE_SOURCE_DIR}/fuzz ${CMAKE_BINARY_DIR}/fuzz)
