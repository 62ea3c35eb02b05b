# The logger every module links (core/log.h), on spdlog and fmt from
# Debian's packages. The Windows cross build uses the same libraries
# header-only: their headers are portable and mingw has no packages of them,
# so the host's copies are staged into the build tree.
if(WIN32)
  set(qx_third_party_include ${CMAKE_BINARY_DIR}/third_party/include)
  foreach(header_dir spdlog fmt)
    if(NOT EXISTS /usr/include/${header_dir})
      message(FATAL_ERROR "/usr/include/${header_dir} is missing: run scripts/setup-debian.sh")
    endif()
    file(COPY /usr/include/${header_dir} DESTINATION ${qx_third_party_include})
  endforeach()
  add_library(qx_log STATIC ${PROJECT_SOURCE_DIR}/core/log.cpp)
  target_include_directories(qx_log SYSTEM PUBLIC ${qx_third_party_include})
  target_compile_definitions(qx_log PUBLIC SPDLOG_HEADER_ONLY FMT_HEADER_ONLY)
else()
  find_package(fmt REQUIRED)
  find_package(spdlog REQUIRED)
  add_library(qx_log STATIC ${PROJECT_SOURCE_DIR}/core/log.cpp)
  target_link_libraries(qx_log PUBLIC spdlog::spdlog fmt::fmt)
endif()
target_include_directories(qx_log PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(qx_log PRIVATE qx_warnings)
