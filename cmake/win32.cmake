# Settings of the 32-bit Windows tree.
enable_language(RC)

add_compile_options(-Wall -Wextra)

# Everything links the C++ runtime, libgcc and winpthread statically: the
# plug-in may import nothing but system DLLs and Direct3D.
add_link_options(-static -static-libgcc -static-libstdc++)

# Every Windows program and the plug-in land in one folder, so tests find the
# DLL beside themselves, as a host would install it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# GoogleTest from Debian's sources, built with the cross compiler. Its
# package installs no lookup for its sources (GTestConfig finds the build
# machine's libraries, of no use to the cross compiler), so the folder is
# Debian's, which KELVO_GOOGLETEST_SOURCE_DIR may replace.
set(KELVO_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH
    "GoogleTest's sources (Debian package googletest)")
if(NOT EXISTS "${KELVO_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt")
  message(FATAL_ERROR "No GoogleTest sources in '${KELVO_GOOGLETEST_SOURCE_DIR}': run "
                      "scripts/setup (package googletest)")
endif()
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${KELVO_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# A Windows program of this project: large-address-aware, because a plain
# 32-bit process cannot hold a 4096x4096 float frame next to Wine's copies.
function(kelvo_windows_program target)
  target_link_options(${target} PRIVATE -Wl,--large-address-aware)
endfunction()
