# The HTML reference of the public header, made by Doxygen:
# `cmake --build --preset docs` writes it into <build>/docs/html/. Every
# warning is an error, so an export, parameter or record field without its
# documentation fails the build.
find_package(Doxygen)
set(qx_doxyfile ${CMAKE_BINARY_DIR}/docs/Doxyfile)
if(DOXYGEN_FOUND)
  set(QX_DOC_INPUT ${PROJECT_SOURCE_DIR}/include/qxplaysdk.h)
  set(QX_DOC_OUTPUT ${CMAKE_BINARY_DIR}/docs)
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${qx_doxyfile} @ONLY)
  add_custom_target(docs
    COMMAND Doxygen::doxygen ${qx_doxyfile}
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "Reference documentation into ${QX_DOC_OUTPUT}/html"
    VERBATIM)
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "doxygen is missing: run scripts/setup-debian.sh"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
