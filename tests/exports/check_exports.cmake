# Checks that the header, the .def file and the built shared library list
# exactly the same exported functions, and that there are 45 of them.
# -DLIBRARY=... -DHEADER=... -DDEF_FILE=... [-DOBJDUMP=... for a Windows DLL]
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/exported_names.cmake)

file(READ "${HEADER}" header_text)
string(REGEX MATCHALL "OVRA_CALL (Ovra_[A-Za-z_]+)\\(" declared "${header_text}")
list(TRANSFORM declared REPLACE "OVRA_CALL (Ovra_[A-Za-z_]+)\\(" "\\1")
list(SORT declared)

file(STRINGS "${DEF_FILE}" def_lines REGEX "^[ \t]+Ovra_")
list(TRANSFORM def_lines STRIP)
list(SORT def_lines)

qx_read_exported_names("${LIBRARY}" "${OBJDUMP}" exported)

list(LENGTH declared declared_count)
if(NOT declared_count EQUAL 45)
  message(FATAL_ERROR "header declares ${declared_count} exports, expected 45: ${declared}")
endif()
if(NOT declared STREQUAL def_lines)
  message(FATAL_ERROR "header and .def differ:\n header: ${declared}\n def: ${def_lines}")
endif()
if(NOT declared STREQUAL exported)
  message(FATAL_ERROR "header and shared library differ:\n header: ${declared}\n library: ${exported}")
endif()
message(STATUS "45 exports match in header, .def and library")
