# GoogleTest compiled by this build's own compiler, for cross builds: a
# prebuilt host GoogleTest cannot be linked into Windows programs. Debian's
# googletest package ships the sources at /usr/src/googletest.
set(QX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${QX_GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources at ${QX_GOOGLETEST_SOURCE_DIR} "
    "(install Debian's googletest package or set QX_GOOGLETEST_SOURCE_DIR)")
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${QX_GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# The GTest:: names the tests link, as find_package(GTest) gives them.
foreach(name gtest gtest_main gmock gmock_main)
  if(NOT TARGET GTest::${name})
    add_library(GTest::${name} ALIAS ${name})
  endif()
endforeach()
