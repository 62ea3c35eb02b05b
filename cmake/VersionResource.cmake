# The library's version lives in two places: project(VERSION) and the
# OVRA_VERSION_* macros of the public header, which callers compile against.
# The configure step refuses to go on when they differ, so that the version
# resource made from the project version always matches the header.
function(qx_check_header_version header)
  file(STRINGS ${header} lines REGEX "^#define OVRA_VERSION_(MAJOR|MINOR|PATCH) [0-9]+$")
  foreach(part MAJOR MINOR PATCH)
    if(NOT lines MATCHES "OVRA_VERSION_${part} ([0-9]+)")
      message(FATAL_ERROR "${header} defines no OVRA_VERSION_${part}")
    endif()
    if(NOT CMAKE_MATCH_1 EQUAL PROJECT_VERSION_${part})
      message(FATAL_ERROR "OVRA_VERSION_${part} is ${CMAKE_MATCH_1} in ${header}, "
        "the project version says ${PROJECT_VERSION_${part}}")
    endif()
  endforeach()
endfunction()

# Adds the version resource (names, numbers) to the Windows DLL `target`.
function(qx_add_version_resource target template)
  set(output ${CMAKE_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${template} ${output} @ONLY)
  target_sources(${target} PRIVATE ${output})
endfunction()
