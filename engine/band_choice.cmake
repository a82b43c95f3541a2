# Whether a converter call goes in row bands, from the calls' times: plain
# logic, so that its tests and the replay of recorded calls run natively.
# Include from the top-level CMakeLists (paths from the source root).
add_library(kelvo_band_choice STATIC ${CMAKE_SOURCE_DIR}/engine/band_choice.cpp)
target_include_directories(kelvo_band_choice PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_features(kelvo_band_choice PUBLIC cxx_std_17)
