# GoogleTest from Debian's source package, built with whichever compiler this tree uses
# (so the same test framework serves the native build and the cross build).
set(QV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${QV_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found at ${QV_GTEST_SOURCE}: run tools/setup.sh")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${QV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)
# The win32-threads mingw runtime lacks std::mutex: these hooks give GoogleTest what it took from it.
if(WIN32)
  foreach(target gtest gtest_main)
    target_include_directories(${target} BEFORE PUBLIC ${CMAKE_CURRENT_LIST_DIR}/gtest_win32)
  endforeach()
endif()
