# Import libraries that bind the backend operations by ordinal alone.
#
# dlltool turns a backend's .def file (entries `name@n @ordinal NONAME`) into
# an import library whose symbols carry the standard-call decoration the
# compiler gives the callers (_name@n), while the DLL's import table receives
# only the ordinal. --kill-at drops the @n from any name an entry would
# export; with NONAME there is none, so the binding is by number only.

# Adds to the INTERFACE library `target` the import library of `dll_name`
# made from `def_file`.
function(qx_add_ordinal_import_library target dll_name def_file)
  get_filename_component(base ${dll_name} NAME_WE)
  set(output ${CMAKE_BINARY_DIR}/imports/lib${base}.a)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/imports
    COMMAND ${CMAKE_DLLTOOL} --kill-at --input-def ${def_file} --dllname ${dll_name}
            --output-lib ${output}
    DEPENDS ${def_file}
    COMMENT "Import library of ${dll_name} (by ordinal)"
    VERBATIM)
  add_custom_target(${base}_ordinal_imports DEPENDS ${output})
  target_link_libraries(${target} INTERFACE ${output})
  add_dependencies(${target} ${base}_ordinal_imports)
endfunction()
