# Install rules: what `cmake --install` puts where, and the pkg-config file
# and CMake package that let other projects find the library.
#
#   <libdir>/libqxplaysdk.so.1           the library (soname libqxplaysdk.so.1)
#   <libdir>/libqxplaysdk.so             link-time name (development files)
#   <libdir>/qxplaysdk/                  the backend libraries and the media
#                                        engine, under their generic names
#   <includedir>/qxplaysdk/qxplaysdk.h   the public header
#   <libdir>/pkgconfig/qxplaysdk.pc
#   <libdir>/cmake/qxplaysdk/            qxplaysdk::qxplaysdk and its version
#
# The backends keep their generic names (libqxplay.so, ...) because the
# library links them by those names; the private folder keeps them out of
# the shared library folder, where they could collide with anything. The
# library reaches them through its RUNPATH ($ORIGIN/qxplaysdk), which the
# dynamic loader consults after LD_LIBRARY_PATH, so a backend of the same
# name placed on LD_LIBRARY_PATH still replaces the installed one.
#
# Components: `runtime` (the libraries, licence texts), `dev` (header,
# link-time name, pkg-config and CMake files), `python` (the ctypes binding).

# On a multiarch system (Debian) the libraries go into lib/<triplet> for any
# prefix: Debian's loader and pkg-config search /usr/local/lib/<triplet> as
# they search /usr/lib/<triplet>, and a package built from this tree lands in
# the right folder.
if(CMAKE_LIBRARY_ARCHITECTURE AND NOT DEFINED CACHE{CMAKE_INSTALL_LIBDIR})
  set(CMAKE_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}" CACHE PATH
    "Object code libraries (lib)")
endif()
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QX_INSTALL_PRIVATE_LIBDIR "${CMAKE_INSTALL_LIBDIR}/qxplaysdk")
set(QX_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}/qxplaysdk")
set(QX_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/qxplaysdk")
set(QX_INSTALL_PYTHONDIR "lib/python3/dist-packages" CACHE PATH
  "Where the Python binding is installed, relative to the prefix")

set(qx_private_libraries qx_backend_player qx_backend_gpp qx_backend_conv qx_backend_net)
if(TARGET qx_media)
  list(APPEND qx_private_libraries qx_media)
endif()

if(NOT WIN32)
  # The ABI is the 45 exports of the header; its major version is the
  # soname's number.
  set_target_properties(qxplaysdk PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    INSTALL_RPATH "$ORIGIN/qxplaysdk")
  # Each backend finds the media engine beside itself.
  set_target_properties(${qx_private_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
endif()
set_target_properties(qxplaysdk PROPERTIES EXPORT_NAME qxplaysdk)

install(TARGETS qxplaysdk EXPORT qxplaysdkTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  INCLUDES DESTINATION ${QX_INSTALL_INCLUDEDIR})
if(WIN32)
  # DLLs are found beside the program (or on PATH), so they sit together.
  install(TARGETS ${qx_private_libraries}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
else()
  install(TARGETS ${qx_private_libraries}
    LIBRARY DESTINATION ${QX_INSTALL_PRIVATE_LIBDIR} COMPONENT runtime NAMELINK_SKIP)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/include/qxplaysdk.h
  DESTINATION ${QX_INSTALL_INCLUDEDIR} COMPONENT dev)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/NOTICE
  DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT runtime)

# CMake package: find_package(qxplaysdk 1.0) gives qxplaysdk::qxplaysdk.
install(EXPORT qxplaysdkTargets NAMESPACE qxplaysdk::
  DESTINATION ${QX_INSTALL_CMAKEDIR} COMPONENT dev)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/qxplaysdkConfig.cmake.in
  ${CMAKE_BINARY_DIR}/install/qxplaysdkConfig.cmake
  INSTALL_DESTINATION ${QX_INSTALL_CMAKEDIR})
# Until a 2.x exists, any 1.x satisfies a request for 1.y with y <= x.
write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/qxplaysdkConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/install/qxplaysdkConfig.cmake
  ${CMAKE_BINARY_DIR}/install/qxplaysdkConfigVersion.cmake
  DESTINATION ${QX_INSTALL_CMAKEDIR} COMPONENT dev)

# pkg-config: the prefix is the one in force when installing, not the one
# configured, so that `cmake --install --prefix DIR` and the Debian package
# (staged with the prefix /usr) both get a file naming their own folders.
set(qx_pc_template ${CMAKE_CURRENT_LIST_DIR}/qxplaysdk.pc.in)
set(qx_pc_output ${CMAKE_BINARY_DIR}/install/qxplaysdk.pc)
install(CODE "
  set(QX_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  set(QX_PC_LIBDIR \"${CMAKE_INSTALL_LIBDIR}\")
  set(QX_PC_INCLUDEDIR \"${QX_INSTALL_INCLUDEDIR}\")
  set(QX_PC_VERSION \"${PROJECT_VERSION}\")
  configure_file(\"${qx_pc_template}\" \"${qx_pc_output}\" @ONLY)
  " COMPONENT dev)
install(FILES ${qx_pc_output} DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

# The Python binding is pure Python over ctypes; it finds the library by its
# soname, so it works wherever the runtime component is on the loader's path.
option(QX_INSTALL_PYTHON "Install the Python binding (component python)" ON)
if(QX_INSTALL_PYTHON AND NOT WIN32)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/qxplaysdk
    DESTINATION ${QX_INSTALL_PYTHONDIR} COMPONENT python
    PATTERN "__pycache__" EXCLUDE)
endif()
