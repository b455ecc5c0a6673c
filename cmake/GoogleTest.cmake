# GoogleTest for the C++ tests: the installed package, or GoogleTest built
# from source with the project's own compiler when cross-compiling (no
# package exists for the target) or when TALKWIRE_GTEST_SOURCE_DIR names a
# source tree.  Included by every folder with C++ tests.
set(TALKWIRE_GTEST_SOURCE_DIR "" CACHE PATH "GoogleTest source tree to build instead of finding the installed package")
if(NOT TARGET GTest::gtest_main)
  set(gtest_source ${TALKWIRE_GTEST_SOURCE_DIR})
  if(NOT gtest_source AND CMAKE_CROSSCOMPILING)
    set(gtest_source /usr/src/googletest)
  endif()
  if(gtest_source)
    if(NOT EXISTS ${gtest_source}/CMakeLists.txt)
      message(FATAL_ERROR "no GoogleTest source tree at ${gtest_source} (Debian: apt-get install googletest)")
    endif()
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # Visual Studio: the same C runtime as the project's targets.
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  else()
    find_package(GTest REQUIRED)
  endif()
endif()
