# How a GoogleTest program becomes ctest entries.
#
# Natively every test is its own entry (gtest_discover_tests). In a cross
# build each program runs under the emulator (Wine), whose start-up costs
# seconds, so a program is one entry that runs all its tests in one process;
# its output names each failing test.
#
# Under Wine every program runs in one Wine prefix inside the build tree. A
# fixture prepares it before the first program (creating a prefix takes about
# a minute) and keeps its server alive between programs, and shuts it down
# after the last.

set(QX_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
# Quiet, headless, and without the offers to install add-ons that a new
# prefix would make.
set(QX_WINE_ENVIRONMENT
  "WINEPREFIX=${QX_WINE_PREFIX}"
  "WINEDEBUG=-all"
  "WINEDLLOVERRIDES=mscoree,mshtml="
  "DISPLAY=")

if(CMAKE_CROSSCOMPILING)
  if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(FATAL_ERROR "Running the tests of a cross build needs an emulator (Wine): "
      "install it or set CMAKE_CROSSCOMPILING_EMULATOR")
  endif()
  get_filename_component(qx_wine_dir ${CMAKE_CROSSCOMPILING_EMULATOR} DIRECTORY)
  find_program(QX_WINESERVER NAMES wineserver wineserver-stable HINTS ${qx_wine_dir} REQUIRED)
  set(qx_wine_script ${PROJECT_SOURCE_DIR}/cmake/wine-prefix.sh)
  add_test(NAME wine.prepare_prefix
    COMMAND sh ${qx_wine_script} start ${CMAKE_CROSSCOMPILING_EMULATOR} ${QX_WINESERVER})
  add_test(NAME wine.shut_down_prefix
    COMMAND sh ${qx_wine_script} stop ${CMAKE_CROSSCOMPILING_EMULATOR} ${QX_WINESERVER})
  set_tests_properties(wine.prepare_prefix PROPERTIES
    FIXTURES_SETUP wine_prefix ENVIRONMENT "${QX_WINE_ENVIRONMENT}" TIMEOUT 600)
  set_tests_properties(wine.shut_down_prefix PROPERTIES
    FIXTURES_CLEANUP wine_prefix ENVIRONMENT "${QX_WINE_ENVIRONMENT}" TIMEOUT 120)
endif()

# Registers the tests of GoogleTest program `target`.
function(qx_add_gtest_program target)
  if(CMAKE_CROSSCOMPILING)
    qx_add_emulated_test(${target} ${target})
  else()
    gtest_discover_tests(${target} PROPERTIES TIMEOUT 120)
  endif()
endfunction()

# Registers program `target` as the one test `name` run in the emulator's
# prefix; further arguments go to the program.
function(qx_add_emulated_test name target)
  add_test(NAME ${name} COMMAND ${target} ${ARGN})
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine_prefix ENVIRONMENT "${QX_WINE_ENVIRONMENT}" TIMEOUT 600)
endfunction()
