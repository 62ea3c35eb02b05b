# Checks that each backend's .def file gives every operation declared in its
# header, with the ordinal the header names after it (`// [N]`), and nothing
# else. -DPAIRS=header1|def1;header2|def2;...
cmake_minimum_required(VERSION 3.25)

foreach(pair IN LISTS PAIRS)
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 header)
  list(GET pair 1 def_file)

  file(READ "${header}" header_text)
  # A semicolon would split the matches below into list items.
  string(REPLACE ";" "" header_text "${header_text}")
  string(REGEX MATCHALL "QX_BACKEND_CALL [a-z_0-9]+\\([^)]*\\)[ \t]*// \\[[0-9]+\\]"
    declarations "${header_text}")
  set(from_header "")
  foreach(declaration IN LISTS declarations)
    string(REGEX MATCH "QX_BACKEND_CALL ([a-z_0-9]+)\\(" unused "${declaration}")
    set(name "${CMAKE_MATCH_1}")
    string(REGEX MATCH "// \\[([0-9]+)\\]$" unused "${declaration}")
    list(APPEND from_header "${name}=${CMAKE_MATCH_1}")
  endforeach()
  list(SORT from_header)

  file(STRINGS "${def_file}" entries REGEX "^[ \t]+[a-z_0-9]+@[0-9]+ @[0-9]+ NONAME$")
  set(from_def "")
  foreach(entry IN LISTS entries)
    string(REGEX MATCH "([a-z_0-9]+)@[0-9]+ @([0-9]+) NONAME" unused "${entry}")
    list(APPEND from_def "${CMAKE_MATCH_1}=${CMAKE_MATCH_2}")
  endforeach()
  list(SORT from_def)

  if(NOT from_header)
    message(FATAL_ERROR "no operations with ordinals found in ${header}")
  endif()
  if(NOT from_header STREQUAL from_def)
    message(FATAL_ERROR "${header} and ${def_file} differ:\n header: ${from_header}\n def: ${from_def}")
  endif()
  list(LENGTH from_def count)
  message(STATUS "${def_file}: ${count} operations agree with ${header}")
endforeach()
